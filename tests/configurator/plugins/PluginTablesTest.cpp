// The plugin tables without widgets, over a catalogue of named plugins made around the probe's
// code and a real store: the categories and their grids, what a cell drags, where a double-clicked
// plugin goes (RecordingLink checks each command against the files), and the icons. Which
// categories open, and that they are remembered, is the widgets' test (PluginTablesViewTest).
#include <optional>

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

    FakePreview preview;
};

TEST_F(PluginTables, CategoriesAreTheMenusAndFollowTheCatalogue)
{
    QStringList shown;
    for (const auto &category : tables.categories(Side::Display))
        shown << category.identifier;
    EXPECT_EQ(shown.join(','), "general,internet,multimedia");
    EXPECT_EQ(tables.categoryTitle(Side::Display, 0), "General");

    ASSERT_TRUE(makeProbeBundle(QStringLiteral(BREVONA_TEST_PLUGIN_DIR), plugins, "More",
                                {{"CFBundleIdentifier", "more"},
                                 {"KCDisplayPlugins", QVariantMap{{"g.1", named("Gauge", "general")}}}}));
    const QImage before = tables.preparedIconForId("t.movie");
    NotificationRecorder recorder({KCDisplayActionTables::UpdatedCategories});
    catalogue.loadAllPlugins();
    EXPECT_EQ(recorder.entries(), QStringList{KCDisplayActionTables::UpdatedCategories});
    EXPECT_EQ(tables.categories(Side::Display)[0].signatures, (QStringList{"lumivox.picture", "g.1"}));
    EXPECT_NE(tables.preparedIconForId("t.movie").cacheKey(), before.cacheKey()) << "icons are drawn again";
}

// What a cell drags: its plugin's one entry for no key in particular, "+icon" when the entry
// carries a picture for a key without one; "-" when it drags nothing.
QString dragged(const std::unique_ptr<QMimeData> &data, const QString &side)
{
    if (!data)
        return "-";
    const auto entries = KCKeyClipboard::readButtons(*data);
    if (!entries || entries->size() != 1 || entries->begin()->first != KCKeyClipboard::UnknownButton)
        return "not one entry";
    const KCKeyClipboard::Entry &entry = entries->begin()->second;
    if (entry.info.keys() != QStringList{side})
        return "not " + side + " alone";
    return entry.info.value(side).toMap().value("Signature").toString() +
           (entry.extraPicture.size() == QSize(48, 48) ? "+icon" : "");
}

struct GridRow
{
    const char *name;
    Side side;
    QString category;
    QString cells; // row by row, "|" between rows
};

// clang-format off
const GridRow kGrids[] = {
    {.name = "no_plugins_no_category", .side = Side::Display, .category = "system-monitor", .cells = ""},
    {.name = "picture_alone_leaves_the_second_cell_empty", .side = Side::Display, .category = "general", .cells = "lumivox.picture -"},
    {.name = "five_plugins_take_three_rows", .side = Side::Display, .category = "internet", .cells = "t.mail t.news|t.stocks t.weather|t.web -"},
    {.name = "action_plugins_apart_with_their_icon", .side = Side::Action, .category = "general", .cells = "t.run+icon -"},
};
// clang-format on

class Grids : public PluginTables, public testing::WithParamInterface<GridRow>
{
};

TEST_P(Grids, HoldTwoPluginsARowEachDraggingItsEntry)
{
    const GridRow &row = GetParam();
    int category = -1;
    for (int i = 0; i < tables.categories(row.side).size(); ++i) {
        if (tables.categories(row.side)[i].identifier == row.category)
            category = i;
    }
    const QString side = row.side == Side::Display ? "DisplayPlugin" : "ActionPlugin";
    const int rows = tables.numberOfRowsInCategory(row.side, category);
    QStringList texts;
    for (int r = 0; r < rows; ++r) {
        QStringList cells;
        for (int c = 0; c < KCDisplayActionTables::Columns; ++c)
            cells << dragged(tables.dragData(row.side, category, r, c), side);
        texts << cells.join(' ');
    }
    EXPECT_EQ(texts.join('|'), row.cells);
    EXPECT_TRUE(tables.pluginIdForRow(row.side, category, rows, 0).isEmpty()) << "past the last row";
}

INSTANTIATE_TEST_SUITE_P(Rows, Grids, testing::ValuesIn(kGrids), RowName());

TEST_F(PluginTables, AnUnknownPluginNeitherDragsNorPastes)
{
    EXPECT_EQ(tables.writePluginId("x.gone"), nullptr);
    EXPECT_FALSE(tables.fakeDragForPlugin("x.gone"));
}

struct DoubleClickRow
{
    const char *name;
    QString plugin;
    QStringList selected;
    QString empty; // the empty key nearest the centre
    QString keys;  // the layer afterwards
    QString selectedAfter;
};

// Onto every selected key: the Places rows of PluginTablesViewTest.
// clang-format off
const DoubleClickRow kDoubleClicks[] = {
    {.name = "no_selection_onto_the_empty_key_nearest_the_centre", .plugin = "t.movie", .selected = {}, .empty = "C", .keys = "A:#ff0000// C:#000000/movie/", .selectedAfter = "C"},
    {.name = "no_selection_and_no_empty_key_does_nothing", .plugin = "t.movie", .selected = {}, .empty = "", .keys = "A:#ff0000//", .selectedAfter = ""},
    {.name = "picture_gives_black_keys", .plugin = "lumivox.picture", .selected = {"A", "B"}, .empty = "", .keys = "A:#000000// B:#000000//", .selectedAfter = "A,B"},
    {.name = "action_keeps_a_picture_and_gives_a_new_key_its_icon", .plugin = "t.run", .selected = {"A", "B"}, .empty = "", .keys = "A:#ff0000//run B:icon//run", .selectedAfter = "A,B"},
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
    EXPECT_EQ(keys("L"), "A:#ff0000//") << "the paste waits for the gesture to end";
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }));
    const bool changed = row.keys != "A:#ff0000//";
    EXPECT_EQ(*outcome, changed ? Outcome::Done : Outcome::Refused);
    EXPECT_EQ(keys("L"), row.keys);
    EXPECT_EQ(link.sent.size(), changed ? 1u : 0u);
    EXPECT_EQ(preview.selected.join(','), row.selectedAfter);
}

INSTANTIATE_TEST_SUITE_P(Rows, DoubleClicks, testing::ValuesIn(kDoubleClicks), RowName());

// Small icons sit on black, large ones in the item frame; a plugin without an icon of its own
// shows the unknown plugin's, 5 in and 6 down. Each is drawn once.
TEST_F(PluginTables, IconsSitOnBlackOrInTheFrameAndAreDrawnOnce)
{
    const QImage small = tables.preparedIconForId("lumivox.picture");
    ASSERT_EQ(small.size(), QSize(24, 24));
    EXPECT_EQ(small.pixelColor(0, 0).alpha(), 0) << "the corners stay clear";
    EXPECT_EQ(small.pixelColor(1, 0), QColor(Qt::black)) << "the icon's transparent edge shows black";
    EXPECT_EQ(tables.preparedIconForId("lumivox.picture").cacheKey(), small.cacheKey());

    const QImage unknown(KeyboardData::shared().filePath("Unknown48x48.png"));
    const QImage big = tables.bigIconForPlugin("t.movie");
    EXPECT_EQ(big.size(), QImage(KeyboardData::shared().filePath("PluginItemMask.png")).size());
    EXPECT_EQ(big.pixel(QPoint(29, 30)), unknown.convertToFormat(big.format()).pixel(QPoint(24, 24)));
    EXPECT_EQ(tables.bigIconForPlugin("t.movie").cacheKey(), big.cacheKey());
}

} // namespace
} // namespace brevona::test
