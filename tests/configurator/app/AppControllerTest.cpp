// The controller on real folders and the test's session bus, with a stand-in driver that owns the
// driver's name and a launcher fake in place of systemd.
#include <QDBusConnection>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QUndoStack>

#include <gtest/gtest.h>

#include "AppController.h"
#include "FakeDriver.h"
#include "FakeDriverLauncher.h"
#include "KCGroupLayer.h"
#include "KCSingleLayer.h"
#include "LayerPicture.h"
#include "LoopbackHttpServer.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "PropertyList.h"
#include "TestHome.h"
#include "Wait.h"

namespace brevona::test {
namespace {

const QString Unit = QStringLiteral("brevona-driver.service");

class AppControllerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
        ASSERT_TRUE(home.isValid());
        preferences.setValue(PreferenceKeys::QuietMode, true);
        env.supportFolder = home.dataHome() + "/Lumivox";
        env.driverStopTimeoutMs = 2000;
    }

    std::unique_ptr<AppController> started()
    {
        auto controller = std::make_unique<AppController>(env, preferences, launcher);
        EXPECT_TRUE(controller->start());
        return controller;
    }

    QStringList rootTitles(AppController &controller)
    {
        QStringList titles;
        for (const auto &child : controller.layerManager().rootGroup()->layers())
            titles << child->title();
        return titles;
    }

    TestHome home;
    PreferencesStore preferences{home.configHome() + "/prefs.plist"};
    FakeDriverLauncher launcher;
    AppController::Environment env;
};

TEST_F(AppControllerTest, DroppedCommandsAreMadeUpByOneRefreshWhenTheDriverAppears)
{
    auto controller = started();
    EXPECT_FALSE(controller->driverLink().isConnected());
    ASSERT_EQ(controller->layerManager().createNewLayer(), KCLayerManager::Outcome::Done);
    ASSERT_EQ(controller->layerManager().createNewGroup("G"), KCLayerManager::Outcome::Done);

    FakeDriver driver("stand-in-driver");
    ASSERT_TRUE(driver.own());
    ASSERT_TRUE(driver.waitForCommands(1));
    EXPECT_EQ(driver.received()[0].name, "RefreshLayer");
    EXPECT_EQ(driver.received()[0].info, QVariantMap({{"LayerId", "Layers"}}));

    // From now on every edit arrives as its own command, and no second refresh follows.
    ASSERT_EQ(controller->layerManager().createNewLayer(), KCLayerManager::Outcome::Done);
    ASSERT_TRUE(driver.waitForCommands(2));
    settle(std::chrono::milliseconds(100));
    ASSERT_EQ(driver.received().size(), 2);
    EXPECT_EQ(driver.received()[1].name, "ItemCreated");

    // A driver owns the name: launching starts nothing.
    launcher.units << Unit;
    EXPECT_EQ(controller->launchDriver(), AppController::Launch::AlreadyRunning);
    EXPECT_TRUE(launcher.calls.isEmpty());

    // A driver that comes back when nothing was dropped hears nothing; after a drop, one refresh.
    ASSERT_TRUE(driver.release());
    ASSERT_TRUE(waitUntil([&] { return !controller->driverLink().isConnected(); }));
    ASSERT_TRUE(driver.own());
    ASSERT_TRUE(waitUntil([&] { return controller->driverLink().isConnected(); }));
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(driver.received().size(), 2);
    ASSERT_TRUE(driver.release());
    ASSERT_TRUE(waitUntil([&] { return !controller->driverLink().isConnected(); }));
    EXPECT_EQ(controller->notifyDriverForCommand("ForceDeviceStop"), DriverLink::SendResult::NoDriver);
    ASSERT_TRUE(driver.own());
    ASSERT_TRUE(driver.waitForCommands(3));
    EXPECT_EQ(driver.received()[2].name, "RefreshLayer");
}

TEST_F(AppControllerTest, LaunchesTheUnitWhenInstalledElseTheProgram)
{
    preferences.setValue(PreferenceKeys::QuietMode, false);
    env.driverProgram = "/bin/true";
    {
        auto controller = started();
        ASSERT_TRUE(waitUntil([&] { return launcher.calls.size() == 1; }));
        EXPECT_EQ(launcher.calls, QStringList({"start program /bin/true"}));
    }
    launcher.calls.clear();
    launcher.units << Unit;
    auto controller = started();
    ASSERT_TRUE(waitUntil([&] { return launcher.calls.size() == 1; }));
    EXPECT_EQ(launcher.calls, QStringList({"start unit " + Unit}));
}

// The first update check follows the start by a moment, unless "QuietMode" is set.
TEST_F(AppControllerTest, ChecksForUpdatesSoonAfterStartUnlessQuiet)
{
    LoopbackHttpServer server;
    env.updates.baseUrl = server.url();
    env.updates.installedVersion = "1.5";
    env.updates.firstCheckDelayMs = 10;
    {
        auto controller = started();
        settle(std::chrono::milliseconds(200));
        EXPECT_EQ(server.requestCount("/versions.xml"), 0) << "quiet";
    }
    preferences.setValue(PreferenceKeys::QuietMode, false);
    env.driverProgram = "/bin/true";
    auto controller = started();
    ASSERT_TRUE(waitUntil([&] { return server.requestCount("/versions.xml") == 1; }));
    ASSERT_TRUE(waitUntil([&] { return !controller->softwareUpdates().isCheckingUpdates(); }));
    EXPECT_EQ(controller->softwareUpdates().lastError(),
              "the server answered 404 Not Found for versions.xml");
}

struct OpenRow
{
    const char *name;
    const char *file;
    QSize size; // empty: the file holds text
    bool opened;
};

class OpenFileTest : public AppControllerTest, public testing::WithParamInterface<OpenRow>
{
};

TEST_P(OpenFileTest, OnlyAKeyboardSizedPictureBecomesALayer)
{
    const OpenRow &row = GetParam();
    const QString path = home.path() + "/" + row.file;
    if (row.size.isEmpty()) {
        QFile text(path);
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("not a picture");
    } else {
        QImage picture(row.size, QImage::Format_RGB32);
        picture.fill(Qt::black);
        const auto key = LayerPicture::location("App0");
        ASSERT_TRUE(key);
        QPainter(&picture).fillRect(QRect(*key, QSize(8, 8)), Qt::red);
        ASSERT_TRUE(picture.save(path));
    }
    auto controller = started();
    FakeDriver driver("stand-in-driver");
    ASSERT_TRUE(driver.own());
    ASSERT_TRUE(waitUntil([&] { return controller->driverLink().isConnected(); }));

    const auto result = controller->openFile(path);

    EXPECT_EQ(result.ok, row.opened) << result.message.toStdString();
    EXPECT_FALSE(result.message.isEmpty());
    if (!row.opened) {
        EXPECT_TRUE(rootTitles(*controller).isEmpty());
        settle(std::chrono::milliseconds(100));
        EXPECT_TRUE(driver.received().isEmpty());
        return;
    }
    EXPECT_EQ(rootTitles(*controller), QStringList({QFileInfo(path).completeBaseName()}));
    // The driver hears of the layer once: its folder already holds the name and the one key its
    // picture draws.
    QStringList names;
    ASSERT_TRUE(waitUntil([&] {
        names.clear();
        for (const auto &command : driver.received())
            names << command.name;
        return names.contains("ItemCreated");
    }));
    settle(std::chrono::milliseconds(100));
    EXPECT_EQ(names, QStringList({"ItemCreated"}));
    const auto layer =
        std::dynamic_pointer_cast<KCSingleLayer>(controller->layerManager().rootGroup()->layerAtIndex(0));
    ASSERT_TRUE(layer);
    EXPECT_EQ(layer->buttonNames(), QStringList({"App0"}));
    // One step undoes all of it.
    controller->layerManager().undoStack()->undo();
    EXPECT_TRUE(rootTitles(*controller).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenFileTest,
    testing::Values(
        OpenRow{.name = "KeyboardPicture", .file = "Sunset.png", .size = {1312, 376}, .opened = true},
        OpenRow{.name = "OnePixelNarrow", .file = "Narrow.png", .size = {1311, 376}, .opened = false},
        OpenRow{.name = "NotAPicture", .file = "notes.txt", .size = {}, .opened = false},
        OpenRow{.name = "LayerArchive", .file = "set.layers", .size = {}, .opened = false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(AppControllerTest, RestoreWithoutAValidBackupChangesNothing)
{
    auto controller = started();
    ASSERT_EQ(controller->layerManager().createNewGroup("Mine"), KCLayerManager::Outcome::Done);
    // A file that is there but no property list: a missing one fails the same read.
    ASSERT_TRUE(QDir().mkpath(controller->backupFolder()));
    QFile root(controller->backupFolder() + "/Group.plist");
    ASSERT_TRUE(root.open(QIODevice::WriteOnly) && root.write("not a property list") > 0);
    root.close();
    const auto result = controller->restoreLayers();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.message.contains("No valid backup")) << result.message.toStdString();
    EXPECT_EQ(rootTitles(*controller), QStringList({"Mine"}));
    EXPECT_TRUE(launcher.calls.isEmpty());
}

TEST_F(AppControllerTest, RestoreStopsTheDriverSwapsReloadsAndStartsItAgain)
{
    launcher.units << Unit;
    auto controller = started();
    ASSERT_EQ(controller->layerManager().createNewGroup("Kept"), KCLayerManager::Outcome::Done);
    ASSERT_TRUE(controller->backupLayers().ok);
    EXPECT_FALSE(QFileInfo::exists(controller->backupFolder() + "/Defaults"));
    ASSERT_EQ(controller->layerManager().createNewGroup("Later"), KCLayerManager::Outcome::Done);

    // The stand-in leaves the bus when told to terminate, as the driver does.
    auto driver = std::make_unique<FakeDriver>("stand-in-driver");
    ASSERT_TRUE(driver->own());
    ASSERT_TRUE(waitUntil([&] { return controller->driverLink().isConnected(); }));
    QObject::connect(controller.get(), &AppController::layerManagerAboutToReload, [&] {
        // By now the driver has been told, and the swap has been made.
        ASSERT_FALSE(driver->received().isEmpty());
        EXPECT_EQ(driver->received().last().name, "Terminate");
    });
    int reloads = 0;
    QObject::connect(controller.get(), &AppController::layerManagerReloaded, [&] { ++reloads; });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!driver->received().isEmpty() && driver->received().last().name == "Terminate")
            driver->release();
    });
    watch.start(10);

    const auto result = controller->restoreLayers();

    EXPECT_TRUE(result.ok) << result.message.toStdString();
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(rootTitles(*controller), QStringList({"Kept"}));
    EXPECT_EQ(launcher.calls, QStringList({"stop unit " + Unit, "start unit " + Unit}));
    // The built-in tree is rebuilt in the restored store.
    EXPECT_TRUE(QFileInfo::exists(controller->layerStoreFolder() + "/Defaults/Group.plist"));
}

} // namespace
} // namespace brevona::test
