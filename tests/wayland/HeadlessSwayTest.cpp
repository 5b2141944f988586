// The sway backends against a real headless sway with real Wayland windows: the applications and
// the one in front as sway reports them, and hot keys as bindings sway accepts and gives back.
#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "HeadlessSway.h"
#include "Wait.h"
#include "wayland/SwayApplicationMonitor.h"
#include "LogCapture.h"
#include "wayland/SwayHotKeyService.h"
#include "wayland/WaylandIdleTimeSource.h"
#include "wayland/WaylandToplevelMonitor.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

class HeadlessSwayTest : public ::testing::Test
{
public:
    static void SetUpTestSuite()
    {
        if (const auto reason = HeadlessSway::missing()) {
            s_skip = *reason;
            return;
        }
        s_sway = std::make_unique<HeadlessSway>();
        if (!s_sway->start())
            s_failure = s_sway->error();
    }
    static void TearDownTestSuite() { s_sway.reset(); }

protected:
    void SetUp() override
    {
        if (!s_skip.isEmpty())
            GTEST_SKIP() << s_skip.toStdString();
        ASSERT_TRUE(s_failure.isEmpty()) << s_failure.toStdString();
    }

    static HeadlessSway &sway() { return *s_sway; }

private:
    static inline std::unique_ptr<HeadlessSway> s_sway;
    static inline QString s_skip;
    static inline QString s_failure;
};

TEST_F(HeadlessSwayTest, ApplicationsFollowTheWindows)
{
    QTemporaryDir applications;
    QFile entry(QDir(applications.path()).filePath(QStringLiteral("org.example.Beta.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Beta\nExec=/nonexistent/program\n");
    entry.close();

    QProcess *before = sway().startWindow(QStringLiteral("brevona-before"));
    ASSERT_TRUE(before);
    SwayApplicationMonitor monitor(sway().socketPath(), {applications.path()});
    monitor.startWatching();
    QSignalSpy launched(&monitor, &ApplicationMonitor::applicationLaunched);
    QSignalSpy terminated(&monitor, &ApplicationMonitor::applicationTerminated);
    QSignalSpy foreground(&monitor, &ApplicationMonitor::foregroundApplicationChanged);
    // What ran before is there, and was not launched while anyone watched.
    EXPECT_EQ(monitor.runningApplications(), QSet<QString>({"brevona-before"}));
    EXPECT_EQ(monitor.foregroundApplication(), "brevona-before");

    // A new window comes to the front; its app id names the desktop entry.
    QProcess *beta = sway().startWindow(QStringLiteral("org.example.Beta"));
    ASSERT_TRUE(beta);
    ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication() == "org.example.Beta"; }));
    EXPECT_EQ(launched.count(), 1);
    EXPECT_EQ(launched.value(0).value(0).toString(), "org.example.Beta");
    EXPECT_EQ(monitor.runningApplications(), QSet<QString>({"brevona-before", "org.example.Beta"}));

    ASSERT_TRUE(sway().command(QStringLiteral("[app_id=brevona-before] focus")));
    ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication() == "brevona-before"; }));

    // The window in front closes, and the other one gets the focus.
    sway().stopWindow(before);
    ASSERT_TRUE(waitUntil([&] { return terminated.count() == 1; }));
    EXPECT_EQ(terminated.value(0).value(0).toString(), "brevona-before");
    ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication() == "org.example.Beta"; }));

    // An empty workspace has nothing in front.
    ASSERT_TRUE(sway().command(QStringLiteral("workspace 9")));
    ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication().isEmpty(); }));
    EXPECT_EQ(foreground.last().value(0).toString(), QString());
    ASSERT_TRUE(sway().command(QStringLiteral("workspace 1")));
    ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication() == "org.example.Beta"; }));
    sway().stopWindow(beta);
    ASSERT_TRUE(waitUntil([&] { return terminated.count() == 2; }));
    EXPECT_EQ(monitor.runningApplications(), QSet<QString>());
    EXPECT_TRUE(waitUntil([&] { return monitor.foregroundApplication().isEmpty(); }));
}

TEST_F(HeadlessSwayTest, HotKeysAreBindingsSwayHoldsUntilReleased)
{
    const QString keys = QStringLiteral("unbindcode --no-repeat Mod4+Shift+38");
    {
        SwayHotKeyService service(sway().socketPath());
        const auto kept =
            service.registerHotKey(38, hotkey_modifiers::Command | hotkey_modifiers::Shift, "a", 1);
        ASSERT_TRUE(kept);
        const auto released = service.registerHotKey(39, hotkey_modifiers::Control, "b", 2);
        ASSERT_TRUE(released);
        EXPECT_TRUE(service.unregisterHotKey(*released));
        // sway finds no binding to remove a second time: the release removed it.
        EXPECT_FALSE(sway().command(QStringLiteral("unbindcode --no-repeat Ctrl+39")));
    }
    // Gone with the service, as at the program's end.
    EXPECT_FALSE(sway().command(keys));
}

TEST_F(HeadlessSwayTest, IdleTimeWithoutTheProtocolSaysSoOnce)
{
    // sway 1.7 (wlroots 0.15) predates ext-idle-notify-v1; later ones offer it.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", sway().runtimeDir().toLocal8Bit());
    LogCapture log({QStringLiteral("brevona.platform.wayland")});
    WaylandIdleTimeSource idle(sway().waylandDisplay());
    const auto first = idle.idleNanoseconds();
    const auto second = idle.idleNanoseconds();
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    if (log.count("offers no idle notifications") == 0) {
        // A sway with the protocol: a user without input devices is idle after a second.
        ASSERT_TRUE(first);
        EXPECT_TRUE(waitUntil([&] { return idle.idleNanoseconds().value_or(0) >= 1'000'000'000ULL; }, 5s));
        return;
    }
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(log.messages().size(), 1) << log.messages().join('\n').toStdString();
}

TEST_F(HeadlessSwayTest, WindowsOfAnyWlrootsCompositorFromItsToplevelList)
{
    QTemporaryDir applications;
    QProcess *first = sway().startWindow(QStringLiteral("brevona-first"));
    ASSERT_TRUE(first);
    WaylandToplevelMonitor monitor(QDir(sway().runtimeDir()).filePath(sway().waylandDisplay()),
                                   {applications.path()});
    monitor.startWatching();
    QSignalSpy launched(&monitor, &ApplicationMonitor::applicationLaunched);
    QSignalSpy terminated(&monitor, &ApplicationMonitor::applicationTerminated);
    EXPECT_EQ(monitor.runningApplications(), QSet<QString>({"brevona-first"}));
    EXPECT_EQ(monitor.foregroundApplication(), "brevona-first");

    QProcess *second = sway().startWindow(QStringLiteral("brevona-second"));
    ASSERT_TRUE(second);
    ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication() == "brevona-second"; }));
    EXPECT_EQ(launched.value(0).value(0).toString(), "brevona-second");
    ASSERT_TRUE(sway().command(QStringLiteral("[app_id=brevona-first] focus")));
    ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication() == "brevona-first"; }));

    sway().stopWindow(first);
    ASSERT_TRUE(waitUntil([&] { return terminated.count() == 1; }));
    EXPECT_EQ(terminated.at(0).at(0).toString(), "brevona-first");
    ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication() == "brevona-second"; }));
    sway().stopWindow(second);
    ASSERT_TRUE(waitUntil([&] { return monitor.runningApplications() == QSet<QString>(); }));
}

} // namespace
