#include <signal.h>

#include <memory>
#include <optional>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "LogCapture.h"
#include "TestHome.h"
#include "X11TestTools.h"
#include "TestPrinters.h"
#include "Wait.h"
#include "XvfbTest.h"
#include "linux/X11ApplicationMonitor.h"
#include "linux/X11HotKeyService.h"
#include "linux/X11IdleTimeSource.h"
#include "linux/X11LanguageSource.h"
#include "linux/X11SystemModifiers.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

// One Xvfb with openbox for the suite; the tests start their own windows.
class X11ServicesTest : public XvfbTest
{
protected:
    static void SetUpTestSuite()
    {
        startServer({.windowManager = true, .tools = {"xdotool", "setxkbmap", "xmessage"}});
    }

    void SetUp() override
    {
        XvfbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(entries.isValid());
        // Two applications: one known by its window class, one by the program it runs.
        write("org.example.Alpha.desktop", "StartupWMClass=brevona-alpha\nExec=/nonexistent/alpha\n");
        write("beta.desktop", "Exec=xmessage\n");
    }

    void TearDown() override
    {
        for (QProcess *client : m_windows)
            server().stopClient(client);
    }

    void write(const QString &name, const QByteArray &body)
    {
        QFile file(QDir(entries.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=X\n" + body);
    }

    // A window of xmessage whose WM_CLASS instance is `name`; its process, or nothing.
    QProcess *window(const QString &name)
    {
        QProcess *client = server().startClient(QStringLiteral("xmessage"), {"-name", name, name});
        if (client)
            m_windows.append(client);
        if (client && !waitUntil([&] { return !windowsNamed(server(), name).isEmpty(); }))
            return nullptr;
        return client;
    }

    QString windowId(const QString &name) { return windowsNamed(server(), name).value(0); }

    QTemporaryDir entries;
    QList<QProcess *> m_windows;
};

TEST_F(X11ServicesTest, FollowsApplicationsAndTheOneInFront)
{
    X11ApplicationMonitor monitor(display(), {entries.path()});
    monitor.startWatching();
    ASSERT_EQ(monitor.runningApplications(), QSet<QString>());
    QSignalSpy launched(&monitor, &ApplicationMonitor::applicationLaunched);
    QSignalSpy front(&monitor, &ApplicationMonitor::foregroundApplicationChanged);

    QProcess *alpha = window("brevona-alpha");
    QProcess *beta = window("brevona-beta");
    ASSERT_TRUE(alpha && beta);
    ASSERT_TRUE(waitUntil([&] { return launched.size() == 2; }));
    EXPECT_EQ(QSet<QString>({launched.at(0).at(0).toString(), launched.at(1).at(0).toString()}),
              QSet<QString>({"org.example.Alpha", "beta"}));
    EXPECT_EQ(monitor.runningApplications(), QSet<QString>({"org.example.Alpha", "beta"}));

    for (const auto &[name, identifier] : {std::pair{"brevona-alpha", "org.example.Alpha"},
                                           {"brevona-beta", "beta"},
                                           {"brevona-alpha", "org.example.Alpha"}}) {
        // openbox may or may not have given the newest window the focus already.
        const bool changes = monitor.foregroundApplication() != identifier;
        front.clear();
        ASSERT_TRUE(server().run("xdotool", {"windowactivate", "--sync", windowId(name)}));
        ASSERT_TRUE(waitUntil([&] { return monitor.foregroundApplication() == identifier; })) << name;
        if (changes) {
            ASSERT_FALSE(front.isEmpty()) << name;
            EXPECT_EQ(front.last().at(0).toString(), identifier);
        }
    }
    EXPECT_EQ(front.size(), 1) << "one announcement per change";
}

TEST_F(X11ServicesTest, AnApplicationWithoutWindowsRunsUntilItsProcessExits)
{
    X11ApplicationMonitor monitor(display(), {entries.path()});
    monitor.startWatching();
    QSignalSpy launched(&monitor, &ApplicationMonitor::applicationLaunched);
    QSignalSpy terminated(&monitor, &ApplicationMonitor::applicationTerminated);
    QProcess *beta = window("brevona-beta");
    ASSERT_TRUE(beta);
    ASSERT_TRUE(waitUntil([&] { return launched.size() == 1; }));

    // Withdrawn, the window leaves the client list while the program runs on.
    const QString id = windowId("brevona-beta");
    ASSERT_TRUE(server().run("xdotool", {"windowunmap", "--sync", id}));
    const QString hex = QStringLiteral("0x") + QString::number(id.toULongLong(), 16);
    ASSERT_TRUE(waitUntil([&] { return !server().clientList().contains(hex); }));
    settle(300ms);
    EXPECT_TRUE(terminated.isEmpty());
    EXPECT_EQ(monitor.runningApplications(), QSet<QString>({"beta"}));

    ::kill(static_cast<pid_t>(beta->processId()), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return terminated.size() == 1; }));
    EXPECT_EQ(terminated.at(0).at(0).toString(), "beta");
    EXPECT_EQ(monitor.runningApplications(), QSet<QString>());
}

TEST_F(X11ServicesTest, FollowsTheLayoutsAndTheLockedGroup)
{
    ASSERT_TRUE(server().run("setxkbmap", {"-layout", "us,de", "-variant", ",nodeadkeys"}));
    ASSERT_TRUE(lockGroup(display(), 0));
    X11LanguageSource source(display());
    source.startWatching();
    EXPECT_EQ(source.layouts(), QStringList({"us", "de(nodeadkeys)"}));
    EXPECT_EQ(source.currentLayout(), QString("us"));

    QSignalSpy changed(&source, &InputLanguageSource::languageChanged);
    ASSERT_TRUE(lockGroup(display(), 1));
    ASSERT_TRUE(waitUntil([&] { return !changed.isEmpty(); }));
    EXPECT_EQ(source.currentLayout(), QString("de(nodeadkeys)"));

    changed.clear();
    ASSERT_TRUE(server().run("setxkbmap", {"-layout", "gb"}));
    ASSERT_TRUE(waitUntil([&] { return source.layouts() == QStringList{"gb"}; }));
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_EQ(source.currentLayout(), QString("gb"));
}

TEST_F(X11ServicesTest, ServicesFollowAServerThatStartsLateAndComesBack)
{
    // A display number free now: the server comes up after the services first asked.
    XvfbServer late;
    ASSERT_TRUE(late.start());
    const QString display = late.display();
    late.stop();
    X11ApplicationMonitor monitor(display, {entries.path()});
    X11LanguageSource language(display);
    monitor.startWatching();
    language.startWatching();
    ASSERT_EQ(monitor.runningApplications(), std::nullopt);
    QSignalSpy launched(&monitor, &ApplicationMonitor::applicationLaunched);
    QSignalSpy terminated(&monitor, &ApplicationMonitor::applicationTerminated);
    QSignalSpy front(&monitor, &ApplicationMonitor::foregroundApplicationChanged);
    QSignalSpy languages(&language, &InputLanguageSource::languageChanged);

    // Nobody asks from here on: the services must come back and tell by themselves.
    ASSERT_TRUE(late.start(display) && late.startWindowManager());
    ASSERT_TRUE(late.run("setxkbmap", {"-layout", "de"}));
    ASSERT_TRUE(late.startClient(QStringLiteral("xmessage"), {"-name", "brevona-beta", "brevona-beta"}));
    ASSERT_TRUE(waitUntil([&] { return !windowsNamed(late, "brevona-beta").isEmpty(); }));
    ASSERT_TRUE(
        late.run("xdotool", {"windowactivate", "--sync", windowsNamed(late, "brevona-beta").value(0)}));
    ASSERT_TRUE(
        waitUntil([&] { return !launched.isEmpty() && !front.isEmpty() && !languages.isEmpty(); }, 20s));
    EXPECT_EQ(launched.first().at(0).toString(), "beta");
    EXPECT_EQ(front.last().at(0).toString(), "beta");
    EXPECT_EQ(language.currentLayout(), QString("de"));

    late.stop();
    ASSERT_TRUE(waitUntil([&] { return !terminated.isEmpty(); }));
    languages.clear();
    ASSERT_TRUE(late.start(display));
    ASSERT_TRUE(late.run("setxkbmap", {"-layout", "gb"}));
    ASSERT_TRUE(waitUntil([&] { return !languages.isEmpty(); }, 20s));
    EXPECT_EQ(language.currentLayout(), QString("gb"));
}

TEST_F(X11ServicesTest, AWaylandSessionUsesNoX11ServiceAndSaysSoOncePerService)
{
    TestHome home;
    // Its Xwayland would answer; what it sees is not the session.
    home.setEnvironment("DISPLAY", display());
    home.setEnvironment("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
    home.setEnvironment("XDG_SESSION_TYPE", std::nullopt);
    LogCapture logs;
    X11ApplicationMonitor monitor({}, {entries.path()});
    X11LanguageSource language;
    X11IdleTimeSource idle;
    X11SystemModifiers modifiers;
    X11HotKeyService hotKeys;
    for (int i = 0; i < 3; ++i) {
        monitor.startWatching();
        EXPECT_EQ(monitor.runningApplications(), std::nullopt);
        EXPECT_EQ(language.layouts(), std::nullopt);
        EXPECT_EQ(idle.idleNanoseconds(), std::nullopt);
        EXPECT_EQ(modifiers.isCapsLocked(), std::nullopt);
        EXPECT_EQ(modifiers.modifierRemapping(), std::nullopt);
        EXPECT_FALSE(hotKeys.registerHotKey(38, 0, QStringLiteral("a  1"), 1));
    }
    EXPECT_EQ(logs.count("Wayland session; "), 5) << logs.messages().join('\n').toStdString();
    EXPECT_EQ(logs.messages().size(), 5);
}

struct NoServerRow
{
    const char *name;
    QString display = {};                        // given to the services; empty: the environment's
    std::optional<QString> displayVariable = {}; // $DISPLAY
    std::optional<QString> sessionType = {};     // $XDG_SESSION_TYPE
    QString reason = {};
};

class X11ServicesWithoutServerTest : public ::testing::TestWithParam<NoServerRow>
{
};

TEST_P(X11ServicesWithoutServerTest, AnswerTheFailureValuesAndSaySoOnce)
{
    TestHome home;
    home.setEnvironment("DISPLAY", GetParam().displayVariable);
    home.setEnvironment("XDG_SESSION_TYPE", GetParam().sessionType);
    LogCapture logs;
    X11ApplicationMonitor monitor(GetParam().display, {QStringLiteral("/nonexistent")});
    X11LanguageSource source(GetParam().display);
    for (int i = 0; i < 3; ++i) {
        monitor.startWatching();
        EXPECT_EQ(monitor.runningApplications(), std::nullopt);
        EXPECT_EQ(monitor.foregroundApplication(), QString());
        EXPECT_EQ(source.layouts(), std::nullopt);
        EXPECT_EQ(source.currentLayout(), std::nullopt);
    }
    // One line from each service.
    EXPECT_EQ(logs.count(GetParam().reason), 2) << logs.messages().join('\n').toStdString();
    EXPECT_EQ(logs.messages().size(), 2);
}

// No server listens on display 31999.
// clang-format off
const NoServerRow kNoServerRows[] = {
    {.name = "NamedDisplay", .display = ":31999", .reason = "Cannot connect to the X display :31999"},
    {.name = "DisplayVariable", .displayVariable = ":31999", .reason = "Cannot connect to the X display :31999"},
    {.name = "NoDisplay", .reason = "No X display"},
    {.name = "Wayland", .displayVariable = ":31999", .sessionType = "wayland", .reason = "Wayland session"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, X11ServicesWithoutServerTest, ::testing::ValuesIn(kNoServerRows), RowName());

} // namespace
