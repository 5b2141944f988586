#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "CommandNames.h"
#include "DriverCommandSink.h"
#include "PreferenceKeys.h"
#include "PreferencesController.h"
#include "PreferencesStore.h"
#include "PropertyList.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "Wait.h"
#include "linux/XdgApplicationCatalog.h"

using namespace brevona;

namespace {

struct Sent
{
    QString name;
    QVariantMap info;
};

class Recorder : public DriverCommandSink
{
public:
    void sendCommand(const QString &name, const QVariantMap &info) override { sent.push_back({name, info}); }
    std::vector<Sent> sent;
};

class PreferencesControllerTest : public ::testing::Test
{
protected:
    QString file() const { return home.configHome() + QStringLiteral("/prefs.plist"); }
    QVariantMap onDisk() const { return PropertyList::readFile(file()).value_or(QVariant()).toMap(); }

    test::TestHome home;
    PreferencesStore store{file()};
    Recorder driver;
    PreferencesController controller{store, driver};
};

// ------------------------------------------------------------ the keyboard page

struct ClampRow
{
    const char *name;
    double brightness;
    qint64 timeout;
    const char *brightnessLabel;
    const char *timeoutLabel;
};

class ClampTest : public ::testing::TestWithParam<ClampRow>
{
};

TEST_P(ClampTest, ClampsAndLabels)
{
    const ClampRow &row = GetParam();
    EXPECT_EQ(PreferencesController::brightnessLabel(row.brightness), QLatin1String(row.brightnessLabel));
    EXPECT_EQ(
        PreferencesController::sleepTimeoutLabel(PreferencesController::clampedSleepTimeout(row.timeout)),
        QLatin1String(row.timeoutLabel));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, ClampTest, ::testing::Values(
    ClampRow{.name = "below", .brightness = 0, .timeout = 5, .brightnessLabel = "1%", .timeoutLabel = "15 seconds"},
    ClampRow{.name = "above", .brightness = 150, .timeout = 1000, .brightnessLabel = "100%", .timeoutLabel = "5 minutes"},
    ClampRow{.name = "plural_both", .brightness = 40.6, .timeout = 125, .brightnessLabel = "41%", .timeoutLabel = "2 minutes 5 seconds"},
    ClampRow{.name = "singular_both", .brightness = 1, .timeout = 61, .brightnessLabel = "1%", .timeoutLabel = "1 minute 1 second"}),
    test::RowName());
// clang-format on

// Stored clamped at once (the driver reads the file at its next start); one command per kind
// once the slider rests, so a sleep change right after a brightness change drops neither.
TEST_F(PreferencesControllerTest, StoresClampedAndSendsOneCommandPerKind)
{
    ASSERT_TRUE(controller.setBrightness(150));
    ASSERT_TRUE(controller.setSleepTimeout(5));
    ASSERT_TRUE(controller.setWakeOnWhenMouseMoves(true));
    EXPECT_TRUE(driver.sent.empty()) << "sent before the slider rests";
    EXPECT_EQ(onDisk().value(PreferenceKeys::KeyboardBrightness).toDouble(), 100.0);
    EXPECT_EQ(onDisk().value(PreferenceKeys::KeyboardSleepTimeout).toLongLong(), 15);

    ASSERT_TRUE(test::waitUntil([&] { return driver.sent.size() == 2; }));
    test::settle(std::chrono::milliseconds(3 * PreferencesController::kSendDelayMs));
    ASSERT_EQ(driver.sent.size(), 2u);
    const auto info = [&](const QString &name) {
        return driver.sent[0].name == name ? driver.sent[0].info : driver.sent[1].info;
    };
    EXPECT_EQ(info(commands::ChangeBrightness).value(commands::keys::Value).toLongLong(), 100);
    EXPECT_TRUE(info(commands::ChangeBrightness).value(commands::keys::Auto).toBool());
    EXPECT_EQ(info(commands::ChangeSleepTimeout).value(commands::keys::Value).toLongLong(), 15);
    EXPECT_TRUE(info(commands::ChangeSleepTimeout).value(commands::keys::WakeOnWhenMouseMoves).toBool());
}

// ------------------------------------------------------------ any key from its text

struct TextRow
{
    const char *name;
    const char *key;
    const char *text;
    const char *error;        // the start of the error; nullptr: stored
    const char *read = "";    // what textValue() gives afterwards when stored
    const char *command = ""; // sent at once
};

class TextValueTest : public PreferencesControllerTest, public ::testing::WithParamInterface<TextRow>
{
};

TEST_P(TextValueTest, ParsesChecksAndStores)
{
    const TextRow &row = GetParam();
    const QString key = QString::fromUtf8(row.key);
    const Result<QVariant> value = PreferencesController::parseText(key, QString::fromUtf8(row.text));
    if (row.error) {
        ASSERT_FALSE(value);
        EXPECT_TRUE(value.error().startsWith(QLatin1String(row.error))) << value.error().toStdString();
        return;
    }
    ASSERT_TRUE(value) << value.error().toStdString();
    ASSERT_TRUE(controller.setValue(key, *value));
    EXPECT_EQ(controller.textValue(key), QString::fromUtf8(row.read));
    EXPECT_EQ(driver.sent.empty() ? QString() : driver.sent.front().name, QLatin1String(row.command));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, TextValueTest, ::testing::Values(
    TextRow{.name = "unknown_key", .key = "Nonsense", .text = "1", .error = "\"Nonsense\" is not"},
    TextRow{.name = "bool", .key = "QuietMode", .text = "yes", .error = nullptr, .read = "true"},
    TextRow{.name = "bad_bool", .key = "QuietMode", .text = "maybe", .error = "\"QuietMode\" takes"},
    TextRow{.name = "bad_number", .key = "KeyboardBrightness", .text = "bright", .error = "\"KeyboardBrightness\" takes"},
    TextRow{.name = "infinite", .key = "MainSplitViewSize", .text = "inf", .error = "\"MainSplitViewSize\""},
    TextRow{.name = "integer_rounds", .key = "KeyboardBackgroundColorType", .text = "0.6", .error = nullptr, .read = "1"},
    TextRow{.name = "hybrid", .key = "HybridLayerZonesSetup", .text = "Current Language,,,Layer Image", .error = nullptr, .read = "Current Language,,,Layer Image", .command = "HybridSetupChanged"},
    TextRow{.name = "hybrid_without_image", .key = "HybridLayerZonesSetup", .text = "Current Language,,,", .error = "\"HybridLayerZonesSetup\" needs"},
    TextRow{.name = "hybrid_three", .key = "HybridLayerZonesSetup", .text = "Layer Image,,Current Language", .error = "\"HybridLayerZonesSetup\" takes"},
    TextRow{.name = "custom_apps_once", .key = "CustomApplicationsBundlesList", .text = "gimp, gimp,krita", .error = nullptr, .read = "gimp,krita"},
    TextRow{.name = "colour", .key = "KeyboardSelectionColor", .text = "#ff0000", .error = nullptr, .read = "#ff0000"},
    TextRow{.name = "bad_colour", .key = "KeyboardSelectionColor", .text = "reddish", .error = "\"KeyboardSelectionColor\" takes"}),
    test::RowName());
// clang-format on

// ------------------------------------------------------------ the paint menu

struct MenuRow
{
    const char *name;
    std::vector<QByteArray> entries;
    QStringList titles; // "-": a separator
    const char *chosen;
    int selected;
};

class PaintMenuTest : public PreferencesControllerTest, public ::testing::WithParamInterface<MenuRow>
{
};

TEST_P(PaintMenuTest, OffersEditorsOfTiffPictures)
{
    const MenuRow &row = GetParam();
    const QString folder = home.dataHome() + QStringLiteral("/applications");
    ASSERT_TRUE(QDir().mkpath(folder));
    int n = 0;
    for (const QByteArray &text : row.entries) {
        QFile file(QStringLiteral("%1/app%2.desktop").arg(folder).arg(n++));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nExec=true\n" + text);
    }
    XdgApplicationCatalog catalog({folder});
    const auto menu = PreferencesController::paintApplicationsMenu(catalog);
    QStringList titles;
    for (const auto &item : menu)
        titles.append(item.separator ? QStringLiteral("-") : item.title + (item.enabled ? "" : " (off)"));
    EXPECT_EQ(titles, row.titles);
    ASSERT_TRUE(controller.setPaintApplication(QString::fromUtf8(row.chosen)));
    EXPECT_EQ(controller.selectedPaintItem(menu), row.selected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PaintMenuTest,
    ::testing::Values(MenuRow{.name = "none",
                              .entries = {"Name=Viewer\nMimeType=image/tiff;\nCategories=Graphics;Viewer;\n",
                                          "Name=Text\nMimeType=text/plain;\n"},
                              .titles = {"Always Ask Me", "-", "No editing applications were found (off)"},
                              .chosen = "app0",
                              .selected = 0},
                      MenuRow{
                          .name = "sorted_and_chosen",
                          .entries = {"Name=Zebra Paint\nMimeType=image/png;image/tiff;\n",
                                      "Name=Art\nMimeType=image/tiff;\nCategories=Graphics;RasterGraphics;\n",
                                      "Name=Hidden\nNoDisplay=true\nMimeType=image/tiff;\n"},
                          .titles = {"Always Ask Me", "-", "Art", "Zebra Paint"},
                          .chosen = "app0",
                          .selected = 3}),
    test::RowName());

} // namespace
