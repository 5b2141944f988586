// The on-screen keyboard's rules without a window: geometry read from the keyboard data set, the
// selection gestures, the arrow-key moves with their weights, the deferred pictures' invalidated
// areas and the pulse.
#include <QSet>

#include <gtest/gtest.h>

#include "DeferredPictureQueue.h"
#include "KeySelection.h"
#include "KeyboardData.h"
#include "KeyboardGeometry.h"
#include "LogCapture.h"
#include "SelectionPulse.h"
#include "TestPrinters.h"

namespace brevona::test {
namespace {

const QSize kImage(KeyboardData::kPictureWidth, KeyboardData::kPictureHeight);

const KeyboardGeometry &installed()
{
    static const KeyboardGeometry geometry = KeyboardGeometry::loadInstalled(kImage);
    return geometry;
}

// A selection over the installed keyboard where exactly `pictured` have pictures.
struct Keys
{
    explicit Keys(QSet<QString> pictured = {})
        : pictures(std::move(pictured))
        , selection(installed(), [this](int key) { return pictures.contains(installed().key(key).name); })
    {}
    QSet<QString> pictures;
    KeySelection selection;
};

QRectF outside(const QString &name)
{
    return QRectF(installed().key(installed().indexOf(name)).outside);
}

TEST(KeyboardGeometryTest, EveryKeyOfTheDataSetSitsOnItsCellOfTheLayerPicture)
{
    const KeyboardData &data = KeyboardData::shared();
    ASSERT_FALSE(data.isEmpty());
    int withDisplay = 0;
    for (const KeyboardData::Key &key : data.keys()) {
        if (!key.display)
            continue;
        ++withDisplay;
        const int index = installed().indexOf(key.name);
        ASSERT_GE(index, 0) << key.name.toStdString();
        EXPECT_EQ(installed().key(index).inside, key.cell()) << key.name.toStdString();
        EXPECT_EQ(installed().key(index).outside, key.outline()) << key.name.toStdString();
    }
    EXPECT_EQ(installed().count(), withDisplay);
}

struct GeometryRow
{
    const char *name;
    QVariantMap resource;
    QString key;
    QRect inside = {};
    QRect outside = {};
};

// clang-format off
const GeometryRow kGeometryRows[] = {
    {.name = "location_is_measured_from_the_top", .resource = {{"ButtonsSize", "{48, 48}"}, {"ButtonsLocations", QVariantMap{{"K", "{10, 20}"}}}}, .key = "K", .inside = QRect(10, 20, 48, 48), .outside = QRect(10, 20, 48, 48)},
    {.name = "visual_delta_moves_right_and_up", .resource = {{"ButtonsSize", "{48, 48}"}, {"VisualDelta", "{3, 4}"}, {"ButtonsLocations", QVariantMap{{"K", "{10, 20}"}}}}, .key = "K", .inside = QRect(13, 16, 48, 48), .outside = QRect(13, 16, 48, 48)},
    {.name = "non_standard_area_is_the_outline", .resource = {{"ButtonsSize", "{48, 48}"}, {"ButtonsLocations", QVariantMap{{"K", "{60, 20}"}}}, {"ButtonsNonStandardAreas", QVariantMap{{"K", "{{10, 20}, {148, 48}}"}}}}, .key = "K", .inside = QRect(60, 20, 48, 48), .outside = QRect(10, 20, 148, 48)},
    {.name = "unreadable_outline_falls_back_to_the_picture_area", .resource = {{"ButtonsSize", "{48, 48}"}, {"ButtonsLocations", QVariantMap{{"K", "{60, 20}"}}}, {"ButtonsNonStandardAreas", QVariantMap{{"K", "wide"}}}}, .key = "K", .inside = QRect(60, 20, 48, 48), .outside = QRect(60, 20, 48, 48)},
    {.name = "unreadable_location_leaves_the_key_out", .resource = {{"ButtonsSize", "{48, 48}"}, {"ButtonsLocations", QVariantMap{{"K", "{x, 1}"}}}}, .key = "K"},
    {.name = "missing_size_gives_no_keys", .resource = {{"ButtonsLocations", QVariantMap{{"K", "{1, 1}"}}}}, .key = "K"},
};
// clang-format on

class KeyboardGeometryRows : public testing::TestWithParam<GeometryRow>
{
};

TEST_P(KeyboardGeometryRows, PlacesTheKey)
{
    const GeometryRow &row = GetParam();
    LogCapture log({QStringLiteral("brevona.configurator.keyboard")});
    const KeyboardGeometry geometry = KeyboardGeometry::fromDictionary(row.resource, QSize(400, 100));
    const int key = geometry.indexOf(row.key);
    if (row.inside.isNull()) {
        EXPECT_LT(key, 0);
        EXPECT_FALSE(log.messages().isEmpty());
        return;
    }
    ASSERT_GE(key, 0);
    EXPECT_EQ(geometry.key(key).inside, row.inside);
    EXPECT_EQ(geometry.key(key).outside, row.outside);
}

INSTANTIATE_TEST_SUITE_P(Rows, KeyboardGeometryRows, testing::ValuesIn(kGeometryRows), RowName());

TEST(KeyboardGeometryTest, MissingResourceGivesAKeyboardWithoutKeys)
{
    LogCapture log({QStringLiteral("brevona.configurator.keyboard")});
    const KeyboardGeometry geometry =
        KeyboardGeometry::load(QStringLiteral("/nonexistent/geometry.plist"), kImage);
    EXPECT_TRUE(geometry.isEmpty());
    EXPECT_EQ(geometry.keyAt(QPointF(10, 10)), -1);
    EXPECT_EQ(log.count(QStringLiteral("cannot be read")), 1);
}

TEST(KeyboardGeometryTest, KeysAreOrderedFromKeyG)
{
    const std::vector<int> &order = installed().byDistanceFromCentre();
    ASSERT_EQ(order.size(), size_t(installed().count()));
    EXPECT_EQ(installed().key(order[0]).name, QStringLiteral("G"));
    const QSet<QString> next{installed().key(order[1]).name, installed().key(order[2]).name};
    EXPECT_EQ(next, (QSet<QString>{QStringLiteral("F"), QStringLiteral("H")}));
}

TEST(KeyboardGeometryTest, WithoutGAndHArrowsAndOrderStartFromTheCentre)
{
    // The data set's keys without "G" and "H".
    QVariantMap locations;
    for (const KeyboardGeometry::Key &key : installed().keys()) {
        if (key.name != QLatin1String("G") && key.name != QLatin1String("H"))
            locations.insert(key.name, QStringLiteral("{%1, %2}").arg(key.inside.x()).arg(key.inside.y()));
    }
    LogCapture log({QStringLiteral("brevona.configurator.keyboard")});
    const KeyboardGeometry geometry = KeyboardGeometry::fromDictionary(
        {{"ButtonsSize", "{48, 48}"}, {"ButtonsLocations", locations}}, kImage);
    EXPECT_EQ(log.count(QStringLiteral("no key \"G\"")), 1);
    ASSERT_EQ(geometry.count(), installed().count() - 2);
    const QPoint centre = QRect(QPoint(), kImage).center();
    const QPoint nearest = geometry.key(geometry.byDistanceFromCentre().front()).inside.center();
    for (const KeyboardGeometry::Key &key : geometry.keys()) {
        const QPoint d = key.inside.center() - centre;
        const QPoint n = nearest - centre;
        EXPECT_GE(d.x() * d.x() + d.y() * d.y(), n.x() * n.x() + n.y() * n.y()) << key.name.toStdString();
    }
    KeySelection selection(geometry, [](int) { return false; });
    EXPECT_TRUE(selection.move({1, 0}, false, QString()));
    EXPECT_EQ(selection.size(), 1);
}

struct ArrowRow
{
    const char *name;
    QStringList selected = {};
    QString lastDeleted = {};
    KeySelection::Step step;
    bool shift;
    QStringList expected;
    QSet<QString> pictures = {};
    bool canChangeButtons = true;
};

// clang-format off
const ArrowRow kArrowRows[] = {
    {.name = "nothing_selected_right_goes_right_of_H", .step = {1, 0}, .shift = false, .expected = {"J"}},
    {.name = "nothing_selected_starts_from_last_deleted", .lastDeleted = "Q", .step = {1, 0}, .shift = false, .expected = {"W"}},
    {.name = "left_from_H", .selected = {"H"}, .step = {-1, 0}, .shift = false, .expected = {"G"}},
    {.name = "up_prefers_the_key_straight_above", .selected = {"H"}, .step = {0, -1}, .shift = false, .expected = {"Y"}},
    {.name = "down_from_T", .selected = {"T"}, .step = {0, 1}, .shift = false, .expected = {"G"}},
    {.name = "up_from_space", .selected = {"Space"}, .step = {0, -1}, .shift = false, .expected = {"B"}},
    {.name = "right_jumps_the_gap", .selected = {"F4"}, .step = {1, 0}, .shift = false, .expected = {"F5"}},
    {.name = "rows_weigh_three_times", .selected = {"ArrowUp"}, .step = {-1, 0}, .shift = false, .expected = {"ShiftRight"}},
    {.name = "columns_weigh_twice", .selected = {"KeypadEnter"}, .step = {0, -1}, .shift = false, .expected = {"KeypadPlus"}},
    {.name = "down_same_column", .selected = {"ArrowUp"}, .step = {0, 1}, .shift = false, .expected = {"ArrowDown"}},
    {.name = "last_selected_is_the_reference", .selected = {"Q", "H"}, .step = {1, 0}, .shift = false, .expected = {"J"}},
    {.name = "shift_extends", .selected = {"H"}, .step = {1, 0}, .shift = true, .expected = {"H", "J"}},
    {.name = "nothing_further_changes_nothing", .selected = {"KeypadPlus"}, .step = {1, 0}, .shift = false, .expected = {"KeypadPlus"}},
    {.name = "locked_layer_only_pictured_keys", .selected = {"H"}, .step = {1, 0}, .shift = false, .expected = {"L"}, .pictures = {"H", "L", "Y"}, .canChangeButtons = false},
};
// clang-format on

class ArrowKeyRows : public testing::TestWithParam<ArrowRow>
{
};

TEST_P(ArrowKeyRows, SelectsTheNearestKeyThatWay)
{
    const ArrowRow &row = GetParam();
    Keys keys(row.pictures);
    keys.selection.setCanChangeButtons(row.canChangeButtons);
    for (const QString &name : row.selected)
        keys.selection.select(name, true);
    keys.selection.move(row.step, row.shift, row.lastDeleted);
    EXPECT_EQ(keys.selection.names(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, ArrowKeyRows, testing::ValuesIn(kArrowRows), RowName());

struct ClickRow
{
    const char *name;
    QStringList before;
    QString key;
    bool toggle;
    QStringList after;
    bool canChangeButtons = true;
};

// clang-format off
const ClickRow kClickRows[] = {
    {.name = "click_one_of_three_selects_it_alone", .before = {"A", "S", "D"}, .key = "S", .toggle = false, .after = {"S"}},
    {.name = "click_the_only_selected_keeps_it", .before = {"A"}, .key = "A", .toggle = false, .after = {"A"}},
    {.name = "click_another_replaces", .before = {"A"}, .key = "D", .toggle = false, .after = {"D"}},
    {.name = "toggle_adds", .before = {"A"}, .key = "D", .toggle = true, .after = {"A", "D"}},
    {.name = "toggle_removes", .before = {"A", "D"}, .key = "A", .toggle = true, .after = {"D"}},
    {.name = "locked_layer_ignores_an_empty_key", .before = {"A"}, .key = "D", .toggle = false, .after = {"A"}, .canChangeButtons = false},
};
// clang-format on

class ClickRows : public testing::TestWithParam<ClickRow>
{
};

TEST_P(ClickRows, ChangesTheSelection)
{
    const ClickRow &row = GetParam();
    Keys keys({"A"});
    keys.selection.setCanChangeButtons(row.canChangeButtons);
    for (const QString &name : row.before)
        keys.selection.select(name, true);
    keys.selection.click(installed().indexOf(row.key), row.toggle);
    EXPECT_EQ(keys.selection.names(), row.after);
}

INSTANTIATE_TEST_SUITE_P(Rows, ClickRows, testing::ValuesIn(kClickRows), RowName());

TEST(KeySelectionTest, RubberBandFromAPicturedSelectionTakesOnlyPicturedKeys)
{
    Keys keys({"Q", "E"});
    keys.selection.select(QStringLiteral("Q"), false);
    const QRectF band = outside(QStringLiteral("Q")).united(outside(QStringLiteral("R")));
    keys.selection.rubberBand(band, band.bottomRight());
    EXPECT_EQ(keys.selection.names(), (QStringList{"Q", "E"}));
}

TEST(KeySelectionTest, RubberBandWithoutPicturedSelectionTakesEveryKeyAndDropsThoseLeft)
{
    Keys keys;
    const QRectF band = outside(QStringLiteral("Q")).united(outside(QStringLiteral("E")));
    keys.selection.rubberBand(band, band.bottomRight());
    EXPECT_EQ(QSet<QString>(keys.selection.names().cbegin(), keys.selection.names().cend()),
              (QSet<QString>{"Q", "W", "E"}));
    // Shrinking the band lets the keys it left go.
    const QRectF smaller = outside(QStringLiteral("Q"));
    keys.selection.rubberBand(smaller, smaller.center());
    EXPECT_EQ(keys.selection.names(), QStringList{"Q"});
}

TEST(KeySelectionTest, SelectAllTakesExactlyThePicturedKeys)
{
    Keys keys({"A", "Space"});
    keys.selection.select(QStringLiteral("Q"), false);
    keys.selection.selectAll();
    EXPECT_EQ(QSet<QString>(keys.selection.names().cbegin(), keys.selection.names().cend()),
              (QSet<QString>{"A", "Space"}));
}

TEST(KeySelectionTest, EmptyKeyNearestToCentreSkipsPicturedKeys)
{
    Keys keys({"G", "H", "F"});
    const QString nearest = installed().key(keys.selection.emptyKeyNearestToCentre()).name;
    EXPECT_FALSE(keys.pictures.contains(nearest));
    const std::vector<int> &order = installed().byDistanceFromCentre();
    EXPECT_EQ(installed().indexOf(nearest), order[3]);
}

struct InvalidationRow
{
    const char *name;
    QStringList keys;
    size_t areas;
};

// "Esc" and "KeypadPeriod" lie over 1000 pixels apart; "Q", "W" and "E" side by side.
const InvalidationRow kInvalidationRows[] = {
    {.name = "three_close_keys_one_area", .keys = {"Q", "W", "E"}, .areas = 1},
    {.name = "two_far_keys_separately", .keys = {"Esc", "KeypadPeriod"}, .areas = 2},
    {.name = "four_far_keys_one_area", .keys = {"Esc", "KeypadPeriod", "App0", "Pause"}, .areas = 1},
    {.name = "one_key_one_area", .keys = {"A"}, .areas = 1},
};

class InvalidationRows : public testing::TestWithParam<InvalidationRow>
{
};

TEST_P(InvalidationRows, CoverEveryQueuedKey)
{
    const InvalidationRow &row = GetParam();
    const std::vector<QRect> areas = DeferredPictureQueue::invalidationAreas(installed(), row.keys);
    ASSERT_EQ(areas.size(), row.areas);
    for (const QString &key : row.keys) {
        const QRect grown = installed().key(installed().indexOf(key)).outside.adjusted(-5, -5, 5, 5);
        EXPECT_TRUE(std::any_of(areas.cbegin(), areas.cend(), [&](const QRect &area) {
            return area.contains(grown);
        })) << key.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, InvalidationRows, testing::ValuesIn(kInvalidationRows), RowName());

TEST(DeferredPictureQueueTest, LaterPictureReplacesTheQueuedOneAndTheMouseHoldsTheTimer)
{
    DeferredPictureQueue queue(installed());
    QImage red(48, 48, QImage::Format_ARGB32_Premultiplied);
    red.fill(Qt::red);
    QImage blue = red;
    blue.fill(Qt::blue);
    queue.enqueue(QStringLiteral("A"), red, true);
    EXPECT_FALSE(queue.isScheduled());
    queue.enqueue(QStringLiteral("A"), blue, false);
    EXPECT_TRUE(queue.isScheduled());
    queue.enqueue(QStringLiteral("S"), red, false);
    queue.enqueue(QStringLiteral("S"), QImage(), false);
    const DeferredPictureQueue::Batch batch = queue.take();
    ASSERT_EQ(batch.pictures.size(), 1u);
    EXPECT_EQ(batch.pictures[0].first, QStringLiteral("A"));
    EXPECT_EQ(batch.pictures[0].second.pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_TRUE(queue.isEmpty());
    EXPECT_FALSE(queue.isScheduled());
}

TEST(SelectionPulseTest, PhaseBouncesBetweenOneAndFifteen)
{
    SelectionPulse pulse;
    std::vector<int> phases;
    for (int i = 0; i < 20; ++i) {
        pulse.tick();
        phases.push_back(pulse.phase());
    }
    const std::vector<int> expected{14, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3};
    EXPECT_EQ(phases, expected);
    pulse.reset();
    EXPECT_EQ(pulse.phase(), SelectionPulse::StartPhase);
    EXPECT_NEAR(pulse.alpha(), std::sin(13 * M_PI / 15) / 1.7 + 0.4, 1e-12);
}

struct PulseRow
{
    const char *name;
    bool inMouseEvent;
    int selected;
    bool windowActive;
    bool applicationActive;
    bool runs;
};

const PulseRow kPulseRows[] = {
    {"one_key_active", false, 1, true, true, true},    {"during_mouse_event", true, 1, true, true, false},
    {"two_keys", false, 2, true, true, false},         {"no_key", false, 0, true, true, false},
    {"window_inactive", false, 1, false, true, false}, {"application_inactive", false, 1, true, false, false},
};

class PulseRows : public testing::TestWithParam<PulseRow>
{
};

TEST_P(PulseRows, RunsOnlyForOneKeyInTheActiveWindow)
{
    const PulseRow &row = GetParam();
    EXPECT_EQ(
        SelectionPulse::shouldRun(row.inMouseEvent, row.selected, row.windowActive, row.applicationActive),
        row.runs);
}

INSTANTIATE_TEST_SUITE_P(Rows, PulseRows, testing::ValuesIn(kPulseRows), RowName());

} // namespace
} // namespace brevona::test
