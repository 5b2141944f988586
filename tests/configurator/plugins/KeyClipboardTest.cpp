// The keys' clipboard on a real store: what leaves the process (no protected value in clear),
// what comes back from other programs (untrusted), and what a paste or a drop does to the layer,
// with the one command each sends (RecordingLink checks it against the files).
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include "KCKeyClipboard.h"
#include "KeysFixture.h"
#include "PropertyList.h"
#include "TestPictures.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

using Outcome = KCLayerManager::Outcome;
const QString kSecret = "open sesame";
// Layer L as the fixture leaves it.
const QString kUntouched = "A:#ff0000//action B:#00ff00//";

// Layers L (A red with the probe's action and a protected setting, B green) and M (empty).
class KeyClipboard : public KeysFixture
{
protected:
    void SetUp() override
    {
        // Through the model, so the protected setting is stored as the store keeps it.
        const QVariantMap action{{"Signature", "brevona.test.action"},
                                 {"Settings", QVariantMap{{"_x_password", kSecret}}}};
        startStore({"L", "M"},
                   {{"L",
                     {{"A", KCLayerManager::KeyState{filled(Qt::red), {{"ActionPlugin", action}}}},
                      {"B", KCLayerManager::KeyState{filled(Qt::green), {}}}}}});
    }

    std::unique_ptr<QMimeData> dropped(const QString &description)
    {
        const QString kind = description.section(':', 0, 0);
        const QString what = description.section(':', 1);
        if (kind == "copy")
            return KCKeyClipboard::buttonsData(layers, "L", what.split(','));
        if (kind == "plugin")
            return KCKeyClipboard::pluginData("DisplayPlugin", "brevona.test.probe");
        if (kind == "gif") {
            QFile file(home.path() + "/dropped.gif");
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(what == "1" ? animatedGif({2}, 5) : animatedGif({0, 1, 2}, 5));
            auto data = std::make_unique<QMimeData>();
            data->setUrls({QUrl::fromLocalFile(file.fileName())});
            return data;
        }
        auto data = KCKeyClipboard::dragData(layers, "L", what);
        if (kind == "foreign")
            data->removeFormat(KCKeyClipboard::OriginMimeType);
        return data;
    }
};

TEST_F(KeyClipboard, CopiedKeysTravelWithoutProtectedValuesInClearAndComeBackWhole)
{
    const auto data = KCKeyClipboard::buttonsData(layers, "L", {"A", "B", "Nowhere"});
    ASSERT_TRUE(data);
    EXPECT_FALSE(data->data(KCKeyClipboard::ButtonsMimeType).contains(kSecret.toUtf8()));
    const auto entries = KCKeyClipboard::readButtons(*data);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 2u);
    const QVariantMap action = entries->at("A").info.value("ActionPlugin").toMap();
    EXPECT_EQ(action.value("Settings").toMap().value("_x_password"), kSecret);
    EXPECT_EQ(entries->at("B").picture.pixelColor(24, 24), QColor(Qt::green));
}

struct UntrustedRow
{
    const char *name;
    QVariant content; // written as a property list
    QString kept;     // the keys read back with their sides, "" for nothing at all
};

// Bytes that are no property list at all: the fuzz target fuzz_property_list.
// clang-format off
const UntrustedRow kUntrusted[] = {
    {.name = "not_a_dictionary", .content = QVariantList{1, 2}, .kept = ""},
    {.name = "oversized", .content = QVariantMap{{"B", QVariantMap{}}, {"pad", QByteArray(KCKeyClipboard::MaxDataBytes, 'x')}}, .kept = ""},
    {.name = "unknown_key_names_skipped", .content = QVariantMap{{"../../A", QVariantMap{}}, {"B", QVariantMap{}}}, .kept = "B:-"},
    {.name = "sides_of_the_wrong_type_dropped", .content = QVariantMap{{"B", QVariantMap{{"DisplayPlugin", "clock"}, {"ActionPlugin", QVariantMap{{"Signature", 7}}}}}}, .kept = "B:-"},
    {.name = "a_picture_that_is_no_picture_dropped", .content = QVariantMap{{"B", QVariantMap{{"Picture", QByteArray("II*\0garbage")}}}}, .kept = "B:-"},
};
// clang-format on

class Untrusted : public KeyClipboard, public testing::WithParamInterface<UntrustedRow>
{
};

TEST_P(Untrusted, DataFromOtherProgramsIsCheckedEntryByEntry)
{
    QMimeData data;
    data.setData(KCKeyClipboard::ButtonsMimeType, PropertyList::toData(GetParam().content).value_or(""));
    const auto entries = KCKeyClipboard::readButtons(data);
    QStringList kept;
    for (const auto &[key, entry] : entries.value_or(KCKeyClipboard::Entries()))
        kept << key + ":" + (entry.info.isEmpty() && entry.picture.isNull() ? "-" : "+");
    EXPECT_EQ(kept.join(' '), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Rows, Untrusted, testing::ValuesIn(kUntrusted), RowName());

// What is dropped, as the row names it: "copy:A,B" (keys of L on the clipboard), "drag:A" (a key of
// L dragged), "foreign:A" (the same from another program), "plugin" (the probe display plugin from
// the tables), "gif:N" (a file of N frames).
struct DropRow
{
    const char *name;
    QString layer;         // where the drop lands
    QStringList selection; // of that layer
    QString data;
    std::optional<QString> key; // the key dropped on; none: the menu's paste
    QString sent;
    QString keysL = kUntouched;
    QString keysM = {};
    QString landed = {}; // the keys selected afterwards; "+" before them: added to the selection
    bool quiet = false;  // settings views wait for the selection to settle
};

// clang-format off
const DropRow kDrops[] = {
    {.name = "one_key_onto_the_key_dropped_on", .layer = "M", .selection = {}, .data = "copy:A", .key = "C", .sent = "ButtonsChanged", .keysM = "C:#ff0000//action", .landed = "+C"},
    {.name = "one_key_by_the_menu_onto_the_first_selected", .layer = "M", .selection = {"B", "C"}, .data = "copy:A", .key = std::nullopt, .sent = "ButtonsChanged", .keysM = "B:#ff0000//action", .landed = "+B"},
    {.name = "one_key_without_selection_onto_its_own_name", .layer = "M", .selection = {}, .data = "copy:B", .key = std::nullopt, .sent = "ButtonsChanged", .keysM = "B:#00ff00//", .landed = "+B"},
    {.name = "several_keys_onto_their_own_names", .layer = "M", .selection = {"C"}, .data = "copy:A,B", .key = "C", .sent = "ButtonsChanged", .keysM = "A:#ff0000//action B:#00ff00//", .landed = "+A,B"},
    {.name = "a_dragged_key_swaps_within_its_layer", .layer = "L", .selection = {}, .data = "drag:A", .key = "B", .sent = "ButtonsMoved", .keysL = "A:#00ff00// B:#ff0000//action", .landed = "B"},
    {.name = "a_dragged_key_moves_into_another_layer", .layer = "M", .selection = {}, .data = "drag:A", .key = "C", .sent = "ButtonsMoved", .keysL = "B:#00ff00//", .keysM = "C:#ff0000//action", .landed = "C"},
    {.name = "a_key_dropped_on_itself_does_nothing", .layer = "L", .selection = {}, .data = "drag:A", .key = "A", .sent = "", .landed = "A"},
    {.name = "a_drag_from_another_program_is_a_copy", .layer = "L", .selection = {}, .data = "foreign:A", .key = "C", .sent = "ButtonsChanged", .keysL = kUntouched + " C:#ff0000//action", .landed = "C"},
    {.name = "a_display_plugin_from_the_tables_keeps_the_action", .layer = "L", .selection = {}, .data = "plugin", .key = "A", .sent = "ButtonsChanged", .keysL = "A:#ff0000/probe/action B:#00ff00//", .landed = "+A"},
    {.name = "a_three_frame_gif_gets_the_animation_plugin", .layer = "M", .selection = {}, .data = "gif:3", .key = "C", .sent = "ButtonsChanged", .keysM = "C:#000000/animation/", .landed = "C", .quiet = true},
    {.name = "a_one_frame_gif_is_a_picture", .layer = "M", .selection = {}, .data = "gif:1", .key = "C", .sent = "ButtonsChanged", .keysM = "C:#0000ff//", .landed = "C", .quiet = true},
};
// clang-format on

class Drops : public KeyClipboard, public testing::WithParamInterface<DropRow>
{
};

TEST_P(Drops, LandAsTheRulesSayInOneEdit)
{
    const DropRow &row = GetParam();
    const auto data = dropped(row.data);
    ASSERT_TRUE(data);
    manager.setSelection(row.layer, row.selection);
    const Outcome outcome = manager.dropOnKey(*data, row.key, false);
    EXPECT_EQ(outcome, Outcome::Done) << manager.lastError().toStdString();
    EXPECT_EQ(link.names().join(' '), row.sent);
    EXPECT_EQ(keys("L"), row.keysL);
    EXPECT_EQ(keys("M"), row.keysM);
    const auto landing = manager.lastLanding();
    EXPECT_EQ((landing.alone ? "" : "+") + landing.keys.join(','), row.landed);
    EXPECT_EQ(manager.safeToUpdateControls(), !row.quiet);
    EXPECT_TRUE(waitUntil([&] { return manager.safeToUpdateControls(); }));
}

INSTANTIATE_TEST_SUITE_P(Rows, Drops, testing::ValuesIn(kDrops), RowName());

} // namespace
} // namespace brevona::test
