// The sway backends against a real headless sway with real Wayland windows: the applications and
// the one in front as sway reports them, and hot keys as bindings sway accepts and gives back.
#include <QDir>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "HeadlessSway.h"
#include "TestPrinters.h"
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

// A sway of its own for each test: no window or binding is left over from another.
class HeadlessSwayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const auto reason = HeadlessSway::missing())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_TRUE(m_sway.start()) << m_sway.error().toStdString();
    }

    HeadlessSway &sway() { return m_sway; }

private:
    HeadlessSway m_sway;
};

struct MonitorRow
{
    const char *name;
    // The window list that any wlroots compositor offers, rather than sway's own IPC socket.
    bool toplevels;
};

class HeadlessSwayApplicationsTest : public HeadlessSwayTest, public ::testing::WithParamInterface<MonitorRow>
{
};

TEST_P(HeadlessSwayApplicationsTest, FollowTheWindows)
{
    QTemporaryDir applications;
    QProcess *before = sway().startWindow(QStringLiteral("brevona-before"));
    ASSERT_TRUE(before);
    std::unique_ptr<ApplicationMonitor> monitor;
    if (GetParam().toplevels)
        monitor = std::make_unique<WaylandToplevelMonitor>(
            QDir(sway().runtimeDir()).filePath(sway().waylandDisplay()), QStringList{applications.path()});
    else
        monitor =
            std::make_unique<SwayApplicationMonitor>(sway().socketPath(), QStringList{applications.path()});
    monitor->startWatching();
    QSignalSpy launched(monitor.get(), &ApplicationMonitor::applicationLaunched);
    QSignalSpy terminated(monitor.get(), &ApplicationMonitor::applicationTerminated);
    // What ran before is there, and was not launched while anyone watched.
    EXPECT_EQ(monitor->runningApplications(), QSet<QString>({"brevona-before"}));
    EXPECT_EQ(monitor->foregroundApplication(), "brevona-before");

    QProcess *after = sway().startWindow(QStringLiteral("brevona-after"));
    ASSERT_TRUE(after);
    ASSERT_TRUE(waitUntil([&] { return monitor->foregroundApplication() == "brevona-after"; }));
    EXPECT_EQ(launched.count(), 1);
    EXPECT_EQ(launched.value(0).value(0).toString(), "brevona-after");

    // The window in front closes, and the other one gets the focus.
    sway().stopWindow(after);
    ASSERT_TRUE(waitUntil([&] { return terminated.count() == 1; }));
    EXPECT_EQ(terminated.value(0).value(0).toString(), "brevona-after");
    ASSERT_TRUE(waitUntil([&] { return monitor->foregroundApplication() == "brevona-before"; }));

    // An empty workspace has nothing in front.
    ASSERT_TRUE(sway().command(QStringLiteral("workspace 9")));
    ASSERT_TRUE(waitUntil([&] { return monitor->foregroundApplication().isEmpty(); }));
}

const MonitorRow kMonitorRows[] = {
    {.name = "SwayIpc", .toplevels = false},
    {.name = "WlrootsToplevels", .toplevels = true},
};

INSTANTIATE_TEST_SUITE_P(Rows, HeadlessSwayApplicationsTest, ::testing::ValuesIn(kMonitorRows),
                         brevona::test::RowName());

TEST_F(HeadlessSwayTest, HotKeysAreBindingsSwayHoldsUntilReleased)
{
    namespace m = hotkey_modifiers;
    {
        SwayHotKeyService service(sway().socketPath());
        ASSERT_TRUE(service.registerHotKey(38, m::Control | m::Option | m::Shift | m::Command, "a", 1));
    }
    // Taken back with the service, as at the program's end: sway finds no binding left to remove.
    EXPECT_FALSE(sway().command(QStringLiteral("unbindcode --no-repeat Mod4+Shift+Mod1+Ctrl+38")));
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

} // namespace
