// The plugin tables without widgets, over a catalogue of named plugins made around the probe's
// code and a real store: the grid of each category, what a cell drags, where a double-clicked
// plugin goes (RecordingLink checks each command against the files), the icons, and which
// categories stay open across runs.
#include <optional>
#include <tuple>

#include <QMimeData>

#include <gtest/gtest.h>

#include "KCDisplayActionTables.h"
#include "KCKeyClipboard.h"
#include "KCKeyboardPreview.h"
#include "KeyboardData.h"
#include "NotificationRecorder.h"
#include "PluginTablesFixture.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

using Outcome = KCLayerManager::Outcome;
using Side = KCDisplayActionTables::Side;
const QString TestPlugins = QStringLiteral(BREVONA_TEST_PLUGIN_DIR);

// The keyboard view as the tables see it: a selection and the empty key nearest the centre.
class FakePreview : public KCKeyboardPreview
{
public:
    QStringList selectedButtons() const override { return selected; }
    QString emptyButtonNearestToCenter() const override { return empty; }
    void selectButtonNamed(const QString &key, bool extend) override
    {
        if (!extend)
            selected.clear();
        if (!selected.contains(key))
            selected.append(key);
    }

    QStringList selected;
    QString empty;
};

class PluginTables : public PluginTablesFixture
{
protected:
    void SetUp() override
    {
        PluginTablesFixture::SetUp();
        tables.setKeyboardPreview(&preview);
    }

    int categoryIndex(Side side, const QString &identifier) const
    {
        const auto &list = tables.categories(side);
        for (int i = 0; i < list.size(); ++i) {
            if (list[i].identifier == identifier)
                return i;
        }
        return -1;
    }

    // "key:picture/display/action" of the layer's keys, the picture "red", "black" or "icon".
    QString keys()
    {
        QStringList texts;
        for (const QString key : {"A", "B", "C", "D"}) {
            const auto state = layers.keyState("L", key);
            if (!state)
                continue;
            const QColor centre = state->picture.pixelColor(24, 24);
            const QString picture = centre == QColor(Qt::red)     ? "red"
                                    : centre == QColor(Qt::black) ? "black"
                                                                  : "icon";
            const auto signature = [&](const QString &side) {
                return state->info.value(side).toMap().value("Signature").toString();
            };
            texts << key + ":" + picture + "/" + signature("DisplayPlugin") + "/" + signature("ActionPlugin");
        }
        return texts.join(' ');
    }

    FakePreview preview;
};

TEST_F(PluginTables, CategoriesAreTheMenusInTheirOrder)
{
    QStringList shown;
    for (const auto &category : tables.categories(Side::Display))
        shown << category.identifier;
    EXPECT_EQ(shown.join(','), "general,internet,multimedia");
    EXPECT_EQ(tables.categoryTitle(Side::Display, 0), "General");
    ASSERT_EQ(tables.categories(Side::Action).size(), 1);
    EXPECT_EQ(tables.categories(Side::Action)[0].signatures, QStringList{"a.run"});
}

TEST_F(PluginTables, BuildAgainWhenTheCatalogueChanges)
{
    ASSERT_TRUE(makeProbeBundle(TestPlugins, plugins, "More",
                                {{"CFBundleIdentifier", "more"},
                                 {"KCDisplayPlugins", QVariantMap{{"g.1", named("Gauge", "general")}}}}));
    const QImage before = tables.preparedIconForId("m.1");
    NotificationRecorder recorder({KCDisplayActionTables::UpdatedCategories});
    catalogue.loadAllPlugins();
    EXPECT_EQ(recorder.entries(), QStringList{KCDisplayActionTables::UpdatedCategories});
    EXPECT_EQ(tables.categories(Side::Display)[0].signatures, (QStringList{"lumivox.picture", "g.1"}));
    EXPECT_NE(tables.preparedIconForId("m.1").cacheKey(), before.cacheKey()) << "icons are drawn again";
}

struct GridRow
{
    const char *name;
    Side side;
    QString category;
    int rows;
    QString cells; // row by row, "|" between rows, "-" for an empty cell
};

// clang-format off
const GridRow kGrids[] = {
    {.name = "no_plugins_no_category", .side = Side::Display, .category = "system-monitor", .rows = 0, .cells = ""},
    {.name = "one_plugin_leaves_the_second_cell_empty", .side = Side::Display, .category = "general", .rows = 1, .cells = "lumivox.picture -"},
    {.name = "five_plugins_take_three_rows", .side = Side::Display, .category = "internet", .rows = 3, .cells = "i.1 i.2|i.3 i.4|i.5 -"},
    {.name = "action_plugins_apart", .side = Side::Action, .category = "general", .rows = 1, .cells = "a.run -"},
};
// clang-format on

class Grids : public PluginTables, public testing::WithParamInterface<GridRow>
{
};

TEST_P(Grids, HoldTwoPluginsARowAndOnlyPluginCellsDrag)
{
    const GridRow &row = GetParam();
    const int category = categoryIndex(row.side, row.category);
    EXPECT_EQ(tables.numberOfRowsInCategory(row.side, category), row.rows);
    QStringList rows;
    for (int r = 0; r < tables.numberOfRowsInCategory(row.side, category); ++r) {
        QStringList cells;
        for (int c = 0; c < KCDisplayActionTables::Columns; ++c) {
            const QString signature = tables.pluginIdForRow(row.side, category, r, c);
            cells << (signature.isEmpty() ? "-" : signature);
            EXPECT_EQ(tables.dragData(row.side, category, r, c) != nullptr, !signature.isEmpty())
                << r << "," << c;
        }
        rows << cells.join(' ');
    }
    EXPECT_EQ(rows.join('|'), row.cells);
    EXPECT_TRUE(tables.pluginIdForRow(row.side, category, row.rows, 0).isEmpty()) << "past the last row";
}

INSTANTIATE_TEST_SUITE_P(Rows, Grids, testing::ValuesIn(kGrids), RowName());

struct DragRow
{
    const char *name;
    QString signature;
    QString entry; // "side:signature" of the one entry, empty when nothing is written
    bool extraPicture;
};

// clang-format off
const DragRow kDrags[] = {
    {.name = "picture_is_a_display_entry", .signature = "lumivox.picture", .entry = "DisplayPlugin:lumivox.picture", .extraPicture = false},
    {.name = "action_plugin_carries_its_icon", .signature = "a.run", .entry = "ActionPlugin:a.run", .extraPicture = true},
    {.name = "unknown_signature_writes_nothing", .signature = "x.gone", .entry = "", .extraPicture = false},
};
// clang-format on

class Drags : public PluginTables, public testing::WithParamInterface<DragRow>
{
};

TEST_P(Drags, WriteOneUnknownButtonEntry)
{
    const DragRow &row = GetParam();
    const auto data = tables.writePluginId(row.signature);
    EXPECT_EQ(tables.fakeDragForPlugin(row.signature), !row.entry.isEmpty());
    if (row.entry.isEmpty()) {
        EXPECT_EQ(data, nullptr);
        return;
    }
    ASSERT_NE(data, nullptr);
    const auto entries = KCKeyClipboard::readButtons(*data);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    ASSERT_EQ(entries->begin()->first, KCKeyClipboard::UnknownButton);
    const KCKeyClipboard::Entry &entry = entries->begin()->second;
    ASSERT_EQ(entry.info.size(), 1);
    const QString side = entry.info.firstKey();
    EXPECT_EQ(side + ":" + entry.info.value(side).toMap().value("Signature").toString(), row.entry);
    EXPECT_EQ(entry.extraPicture.isNull() ? QSize() : entry.extraPicture.size(),
              row.extraPicture ? QSize(48, 48) : QSize());
}

INSTANTIATE_TEST_SUITE_P(Rows, Drags, testing::ValuesIn(kDrags), RowName());

struct DoubleClickRow
{
    const char *name;
    QString plugin;
    QStringList selected;
    QString empty; // the empty key nearest the centre
    QString keys;  // the layer afterwards
    QString selectedAfter;
};

// clang-format off
const DoubleClickRow kDoubleClicks[] = {
    {.name = "onto_every_selected_key", .plugin = "m.1", .selected = {"A", "B", "C"}, .empty = "D", .keys = "A:red/m.1/ B:black/m.1/ C:black/m.1/", .selectedAfter = "A,B,C"},
    {.name = "no_selection_onto_the_empty_key_nearest_the_centre", .plugin = "m.1", .selected = {}, .empty = "C", .keys = "A:red// C:black/m.1/", .selectedAfter = "C"},
    {.name = "no_selection_and_no_empty_key_does_nothing", .plugin = "m.1", .selected = {}, .empty = "", .keys = "A:red//", .selectedAfter = ""},
    {.name = "picture_gives_black_keys", .plugin = "lumivox.picture", .selected = {"A", "B"}, .empty = "", .keys = "A:black// B:black//", .selectedAfter = "A,B"},
    {.name = "action_keeps_a_picture_and_gives_a_new_key_its_icon", .plugin = "a.run", .selected = {"A", "B"}, .empty = "", .keys = "A:red//a.run B:icon//a.run", .selectedAfter = "A,B"},
};
// clang-format on

class DoubleClicks : public PluginTables, public testing::WithParamInterface<DoubleClickRow>
{
};

TEST_P(DoubleClicks, PasteOnTheSelectionElseTheEmptyKeyNearestTheCentre)
{
    const DoubleClickRow &row = GetParam();
    preview.selected = row.selected;
    preview.empty = row.empty;
    std::optional<Outcome> outcome;
    QObject::connect(&tables, &KCDisplayActionTables::pasted,
                     [&](Outcome result, const QStringList &, const QString &) { outcome = result; });
    ASSERT_TRUE(tables.fakeDragForPlugin(row.plugin));
    EXPECT_EQ(keys(), "A:red//") << "the paste waits for the gesture to end";
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
    EXPECT_EQ(*outcome, row.keys == "A:red//" ? Outcome::Refused : Outcome::Done);
    EXPECT_EQ(keys(), row.keys);
    EXPECT_EQ(link.sent.size(), row.keys == "A:red//" ? 0u : 1u);
    EXPECT_EQ(preview.selected.join(','), row.selectedAfter);
}

INSTANTIATE_TEST_SUITE_P(Rows, DoubleClicks, testing::ValuesIn(kDoubleClicks), RowName());

TEST_F(PluginTables, IconsSitOnBlackOrInTheFrameAndAreDrawnOnce)
{
    const QImage small = tables.preparedIconForId("lumivox.picture");
    ASSERT_EQ(small.size(), QSize(24, 24));
    for (const QPoint corner : {QPoint(0, 0), QPoint(23, 0), QPoint(0, 23), QPoint(23, 23)})
        EXPECT_EQ(small.pixelColor(corner).alpha(), 0) << corner.x() << "," << corner.y();
    EXPECT_EQ(small.pixelColor(1, 0), QColor(Qt::black)) << "the icon's transparent edge shows black";
    EXPECT_EQ(tables.preparedIconForId("lumivox.picture").cacheKey(), small.cacheKey());

    // A plugin without an icon of its own shows the unknown plugin's, 5 in and 6 down.
    const QImage unknown(KeyboardData::shared().filePath("Unknown48x48.png"));
    const QImage big = tables.bigIconForPlugin("m.1");
    ASSERT_FALSE(unknown.isNull());
    EXPECT_EQ(big.size(), QImage(KeyboardData::shared().filePath("PluginItemMask.png")).size());
    for (const QPoint probe : {QPoint(0, 0), QPoint(24, 24), QPoint(10, 30)})
        EXPECT_EQ(big.pixel(probe + QPoint(5, 6)), unknown.convertToFormat(big.format()).pixel(probe))
            << probe.x() << "," << probe.y();
    EXPECT_EQ(tables.bigIconForPlugin("m.1").cacheKey(), big.cacheKey());
}

struct ExpansionRow
{
    const char *name;
    QList<std::tuple<Side, QString, bool>> gestures;
    QString open; // "d:" and "a:" categories open at the next run
};

// clang-format off
const ExpansionRow kExpansions[] = {
    {.name = "all_open_at_first", .gestures = {}, .open = "d:general d:internet d:multimedia a:general"},
    {.name = "closed_and_opened_again", .gestures = {{Side::Display, "internet", false}, {Side::Display, "internet", true}}, .open = "d:general d:internet d:multimedia a:general"},
    {.name = "each_side_on_its_own", .gestures = {{Side::Action, "general", false}}, .open = "d:general d:internet d:multimedia"},
};
// clang-format on

class Expansions : public PluginTables, public testing::WithParamInterface<ExpansionRow>
{
};

TEST_P(Expansions, AreKeptAcrossRuns)
{
    for (const auto &[side, category, expanded] : GetParam().gestures)
        tables.setCategoryExpanded(side, category, expanded);
    // The next run: its own preferences and tables over the same file.
    PreferencesStore nextPreferences(preferences.path());
    KCDisplayActionTables next(catalogue, &nextPreferences);
    next.pluginsInfoUpdated();
    QStringList open;
    for (const Side side : {Side::Display, Side::Action}) {
        for (const auto &category : next.categories(side)) {
            if (next.isCategoryExpanded(side, category.identifier))
                open << QString(side == Side::Display ? "d:" : "a:") + category.identifier;
        }
    }
    EXPECT_EQ(open.join(' '), GetParam().open);
}

INSTANTIATE_TEST_SUITE_P(Rows, Expansions, testing::ValuesIn(kExpansions), RowName());

} // namespace
} // namespace brevona::test
