#include <vector>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "CommandNames.h"
#include "DriverCommandSink.h"
#include "PreferenceKeys.h"
#include "PreferencesController.h"
#include "PreferencesStore.h"
#include "PreferencesWindow.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "linux/XdgApplicationCatalog.h"

using namespace brevona;

namespace {

class Recorder : public DriverCommandSink
{
public:
    void sendCommand(const QString &name, const QVariantMap &info) override
    {
        sent.append(name + QLatin1Char(' ') + info.value(commands::keys::Value).toString());
    }
    QStringList sent;
};

class PreferencesWindowTest : public ::testing::Test
{
protected:
    template<typename T> T *control(const QString &name)
    {
        for (T *widget : window.findChildren<T *>()) {
            if (widget->accessibleName() == name)
                return widget;
        }
        ADD_FAILURE() << "no control named " << name.toStdString();
        return nullptr;
    }

    test::TestHome home;
    PreferencesStore store{home.configHome() + QStringLiteral("/prefs.plist")};
    Recorder driver;
    PreferencesController controller{store, driver};
    XdgApplicationCatalog catalog{{home.dataHome() + QStringLiteral("/applications")}};
    PreferencesWindow window{store, controller, catalog};
};

TEST_F(PreferencesWindowTest, KeyboardControlsWriteThroughAndTellTheDriverOnce)
{
    window.showPreferences();
    QSlider *brightness = control<QSlider>(QStringLiteral("Brightness"));
    QSlider *sleep = control<QSlider>(QStringLiteral("Sleep after"));
    ASSERT_TRUE(brightness && sleep);
    brightness->setValue(70);
    brightness->setValue(40);
    sleep->setValue(125);
    EXPECT_EQ(store.realValue(PreferenceKeys::KeyboardBrightness), 40.0);
    EXPECT_EQ(store.integerValue(PreferenceKeys::KeyboardSleepTimeout), 125);
    QStringList labels;
    for (const QLabel *label : window.findChildren<QLabel *>())
        labels.append(label->text());
    EXPECT_TRUE(labels.contains(QStringLiteral("40%"))) << labels.join('|').toStdString();
    EXPECT_TRUE(labels.contains(QStringLiteral("2 minutes 5 seconds"))) << labels.join('|').toStdString();
    controller.flush();
    EXPECT_EQ(driver.sent,
              (QStringList{QStringLiteral("ChangeBrightness 40"), QStringLiteral("ChangeSleepTimeout 125")}));
}

struct CloseRow
{
    const char *name;
    bool ok;
};

class PreferencesWindowClose : public PreferencesWindowTest, public ::testing::WithParamInterface<CloseRow>
{
};

// The general settings reach the file only with OK; a window opened again shows the file.
TEST_P(PreferencesWindowClose, StoresGeneralEditsOnlyWithOk)
{
    window.showPreferences();
    control<QCheckBox>(QStringLiteral("Check for updates automatically"))->setChecked(false);
    control<QComboBox>(QStringLiteral("Keyboard picture"))->setCurrentIndex(1);
    auto *buttons = window.findChild<QDialogButtonBox *>();
    buttons->button(GetParam().ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(store.boolValue(PreferenceKeys::GeneralCheckForUpdates), !GetParam().ok);
    EXPECT_EQ(store.integerValue(PreferenceKeys::KeyboardBackgroundColorType), GetParam().ok ? 1 : 0);
    window.showPreferences();
    EXPECT_EQ(control<QComboBox>(QStringLiteral("Keyboard picture"))->currentIndex(), GetParam().ok ? 1 : 0);
    EXPECT_EQ(control<QComboBox>(QStringLiteral("Paint Applications"))->currentData().toString(),
              PreferenceKeys::PaintAlwaysAsk);
}

INSTANTIATE_TEST_SUITE_P(Rows, PreferencesWindowClose,
                         ::testing::Values(CloseRow{.name = "ok", .ok = true},
                                           CloseRow{.name = "cancel", .ok = false}),
                         test::RowName());

} // namespace
