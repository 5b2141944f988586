// The hybrid zones editor: which stored setups count, what a drop does, and that a change is
// stored before the driver hears of it, in a form the driver's composition reads.
#include <gtest/gtest.h>

#include "CommandNames.h"
#include "DriverCommandSink.h"
#include "HybridCorners.h"
#include "HybridZoneSetup.h"
#include "KCButtonDropZonesView.h"
#include "KeyedArchive.h"
#include "KeyboardMimeTypes.h"
#include "LogCapture.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "Paths.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "PropertyList.h"
#include "TestHome.h"
#include "TestPrinters.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>

namespace brevona::test {
namespace {

const QString LI = PreferenceKeys::ZoneLayerImage;
const QString CL = PreferenceKeys::ZoneCurrentLanguage;
const QStringList kDefault{LI, "", "", CL};

struct StoredRow
{
    const char *name;
    QVariant stored;
    QStringList effective;
};

// clang-format off
const StoredRow kStoredRows[] = {
    {.name = "valid_setup_is_used", .stored = QStringList{CL, LI, "", ""}, .effective = {CL, LI, "", ""}},
    {.name = "three_entries_give_the_default", .stored = QStringList{LI, "", CL}, .effective = kDefault},
    {.name = "five_entries_give_the_default", .stored = QStringList{LI, "", "", CL, ""}, .effective = kDefault},
    {.name = "no_current_language_gives_the_default", .stored = QStringList{LI, "", "", ""}, .effective = kDefault},
    {.name = "no_layer_image_gives_the_default", .stored = QStringList{"", "", CL, ""}, .effective = kDefault},
    {.name = "a_string_gives_the_default", .stored = QString("Layer Image"), .effective = kDefault},
    {.name = "a_dictionary_gives_the_default", .stored = QVariantMap{{"Zones", 1}}, .effective = kDefault},
    {.name = "nothing_gives_the_default", .stored = QVariant(), .effective = kDefault},
    {.name = "entries_not_strings_count_as_empty", .stored = QVariantList{LI, qint64(7), CL, QVariantMap()}, .effective = {LI, "", CL, ""}},
};
// clang-format on

class StoredSetupRows : public testing::TestWithParam<StoredRow>
{
};

TEST_P(StoredSetupRows, AreUsedOnlyWhenValid)
{
    EXPECT_EQ(HybridZoneSetup::effective(GetParam().stored), GetParam().effective);
}

INSTANTIATE_TEST_SUITE_P(Rows, StoredSetupRows, testing::ValuesIn(kStoredRows), RowName());

struct DropRow
{
    const char *name;
    QStringList before;
    KCButtonDropZonesView::Payload payload;
    int zone;
    bool fromHere;
    std::optional<QStringList> after;
};

// clang-format off
const DropRow kDropRows[] = {
    {.name = "top_left_onto_bottom_right_swaps", .before = kDefault, .payload = 0, .zone = 3, .fromHere = true, .after = QStringList{CL, "", "", LI}},
    {.name = "filled_onto_empty_moves", .before = kDefault, .payload = 3, .zone = 1, .fromHere = true, .after = QStringList{LI, CL, "", ""}},
    {.name = "index_minus_one_refused", .before = kDefault, .payload = -1, .zone = 1, .fromHere = true, .after = std::nullopt},
    {.name = "index_from_another_editor_refused", .before = kDefault, .payload = 0, .zone = 1, .fromHere = false, .after = std::nullopt},
    {.name = "outside_value_takes_the_zone", .before = kDefault, .payload = CL, .zone = 2, .fromHere = false, .after = QStringList{LI, "", CL, ""}},
    {.name = "outside_empty_on_an_empty_zone", .before = kDefault, .payload = QString(""), .zone = 1, .fromHere = false, .after = kDefault},
    {.name = "outside_value_that_would_erase_the_other_refused", .before = kDefault, .payload = LI, .zone = 3, .fromHere = false, .after = std::nullopt},
    {.name = "outside_empty_over_a_value_refused", .before = kDefault, .payload = QString(""), .zone = 0, .fromHere = false, .after = std::nullopt},
    {.name = "unknown_value_refused", .before = kDefault, .payload = QString("Weather"), .zone = 1, .fromHere = false, .after = std::nullopt},
    {.name = "unknown_data_refused", .before = kDefault, .payload = std::monostate(), .zone = 1, .fromHere = true, .after = std::nullopt},
    {.name = "outside_every_zone_refused", .before = kDefault, .payload = 0, .zone = -1, .fromHere = true, .after = std::nullopt},
};
// clang-format on

class ZoneDropRows : public testing::TestWithParam<DropRow>
{
};

TEST_P(ZoneDropRows, LeaveAValidSetupOrNothing)
{
    const DropRow &row = GetParam();
    EXPECT_EQ(KCButtonDropZonesView::afterDrop(row.before, row.payload, row.zone, row.fromHere), row.after);
}

INSTANTIATE_TEST_SUITE_P(Rows, ZoneDropRows, testing::ValuesIn(kDropRows), RowName());

TEST(ZoneDragDataTest, RoundTripsAndUnknownDataReadsAsNothing)
{
    EXPECT_EQ(KCButtonDropZonesView::payload(KCButtonDropZonesView::zoneIndexData(2).get()),
              KCButtonDropZonesView::Payload(2));
    EXPECT_EQ(KCButtonDropZonesView::payload(KCButtonDropZonesView::zoneValueData(CL).get()),
              KCButtonDropZonesView::Payload(CL));
    QMimeData text;
    text.setText(QStringLiteral("Layer Image"));
    QMimeData garbage;
    garbage.setData(mimetypes::HybridZone, QByteArray("\x00\x01 not an archive", 18));
    QMimeData dictionary;
    dictionary.setData(mimetypes::HybridZone, *KeyedArchive::archive(QVariantMap{{"Zone", 1}}));
    QMimeData farIndex;
    farIndex.setData(mimetypes::HybridZone, *KeyedArchive::archive(qint64(9)));
    for (const QMimeData *data : {&text, &garbage, &dictionary, &farIndex})
        EXPECT_TRUE(std::holds_alternative<std::monostate>(KCButtonDropZonesView::payload(data)));
}

// Hands each command to the driver's own notification, as its command server does, after
// checking that the preferences file already holds the setup it carries.
class DriverSideSink : public DriverCommandSink
{
public:
    void sendCommand(const QString &command, const QVariantMap &info) override
    {
        const auto file = PropertyList::readDictionary(Paths::configuratorPreferencesFile());
        ASSERT_TRUE(file.has_value());
        EXPECT_EQ(file->value(PreferenceKeys::HybridLayerZonesSetup).toStringList(),
                  info.value(commands::keys::Zones).toStringList());
        sent.append(command);
        NotificationCenter::defaultCenter().post(notifications::configuratorSaid(command), {}, info);
    }
    QStringList sent;
};

TEST(HybridZonesEditorTest, SwapIsStoredSentAndFollowedByTheDriversComposition)
{
    TestHome home;
    ASSERT_TRUE(home.isValid());
    PreferencesStore preferences(Paths::configuratorPreferencesFile());
    DriverSideSink driver;
    HybridCorners::updateFromPreferences();
    ASSERT_EQ(HybridCorners::imageCorner(), 0);
    KCButtonDropZonesView editor(&preferences, &driver);
    ASSERT_EQ(editor.zones(), kDefault);

    EXPECT_TRUE(editor.dropPayload(0, 3, true));
    const QStringList swapped{CL, "", "", LI};
    EXPECT_EQ(editor.zones(), swapped);
    EXPECT_EQ(driver.sent, QStringList{commands::HybridSetupChanged});
    EXPECT_EQ(preferences.stringListValue(PreferenceKeys::HybridLayerZonesSetup), swapped);
    EXPECT_EQ(HybridCorners::imageCorner(), 3);
    EXPECT_EQ(HybridCorners::languageCorner(), 0);
    // A driver starting now reads the same from the file.
    HybridCorners::updateFromPreferences();
    EXPECT_EQ(HybridCorners::imageCorner(), 3);

    // A refused drop stores and sends nothing.
    EXPECT_FALSE(editor.dropPayload(QString(), 0, false));
    EXPECT_EQ(driver.sent.size(), 1);
    HybridCorners::update(QVariant());
}

TEST(HybridZonesEditorTest, StoredSetupOfTheWrongShapeShowsTheDefault)
{
    TestHome home;
    ASSERT_TRUE(home.isValid());
    const QString path = home.configHome() + QStringLiteral("/prefs.plist");
    ASSERT_TRUE(PropertyList::writeFile(
        path, QVariantMap{{PreferenceKeys::HybridLayerZonesSetup, QStringList{LI, "", "", ""}}}));
    PreferencesStore preferences(path);
    LogCapture log({QStringLiteral("brevona.configurator.interface")});
    KCButtonDropZonesView editor(&preferences, nullptr);
    EXPECT_EQ(editor.zones(), kDefault);
    EXPECT_EQ(log.count(QStringLiteral("default zones")), 1);
    // A change elsewhere is shown.
    ASSERT_TRUE(preferences.setValue(PreferenceKeys::HybridLayerZonesSetup, QStringList{"", LI, CL, ""}));
    EXPECT_EQ(editor.zones(), (QStringList{"", LI, CL, ""}));
}

TEST(HybridZonesEditorTest, DragsHighlightTheZoneUnderThePointerAndADropReplacesIt)
{
    KCButtonDropZonesView editor(nullptr, nullptr);
    editor.resize(96, 96);
    const auto value = KCButtonDropZonesView::zoneValueData(CL);
    QDragEnterEvent enter(QPoint(20, 60), Qt::CopyAction, value.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&editor, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(editor.highlightZone(), 2);
    QDragLeaveEvent leave;
    QApplication::sendEvent(&editor, &leave);
    EXPECT_EQ(editor.highlightZone(), -1);
    QMimeData text;
    text.setText(CL);
    QDragEnterEvent unknown(QPoint(20, 60), Qt::CopyAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(&editor, &unknown);
    EXPECT_FALSE(unknown.isAccepted());
    EXPECT_EQ(editor.highlightZone(), -1);
    QDragEnterEvent again(QPoint(20, 60), Qt::CopyAction, value.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&editor, &again);
    QDropEvent drop(QPointF(20, 60), Qt::CopyAction, value.get(), Qt::LeftButton, {});
    QApplication::sendEvent(&editor, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(editor.zones(), (QStringList{LI, "", CL, ""}));
}

TEST(HybridZonesEditorTest, ZonesSitInTheirQuarters)
{
    KCButtonDropZonesView editor(nullptr, nullptr);
    editor.resize(96, 96);
    EXPECT_EQ(editor.zoneRect(0), QRectF(14, 14, 32, 32));
    EXPECT_EQ(editor.zoneRect(3), QRectF(50, 50, 32, 32));
    EXPECT_EQ(editor.zoneAt(QPointF(60, 20)), 1);
    EXPECT_EQ(editor.zoneAt(QPointF(20, 60)), 2);
    EXPECT_EQ(editor.zoneAt(QPointF(48, 48)), -1);
    editor.resize(192, 400);
    EXPECT_EQ(editor.zoneRect(0), QRectF(28, 132, 64, 64));
    editor.resize(0, 0);
    EXPECT_EQ(editor.zoneAt(QPointF(0, 0)), -1);
}

} // namespace
} // namespace brevona::test
