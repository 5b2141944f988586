#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "HidTestSupport.h"
#include "KDModifierMappingReader.h"
#include "SSHidIdleTime.h"
#include "linux/X11IdleTimeSource.h"
#include "linux/X11SystemModifiers.h"

using namespace brevona;
using namespace std::chrono_literals;

namespace {

// An Xvfb server on a display number it picks itself (-displayfd), kept for one test suite.
// -noreset keeps the keyboard settings when the last client leaves.
class Xvfb
{
public:
    Xvfb() = default;
    ~Xvfb() { stop(); }

    bool start()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
        m_process.setProgram(QStringLiteral("Xvfb"));
        m_process.setArguments({"-displayfd", QString::number(fds[1]), "-noreset", "-nolisten", "tcp",
                                "-screen", "0", "640x480x24"});
        // Should the test process die, the server goes with it.
        m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        ::close(fds[1]);
        const bool started = m_process.waitForStarted(5000);
        QByteArray number;
        pollfd readable{fds[0], POLLIN, 0};
        while (started && ::poll(&readable, 1, 15000) > 0) {
            char c;
            if (::read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number.append(c);
        }
        ::close(fds[0]);
        if (number.isEmpty()) {
            stop();
            return false;
        }
        m_display = QStringLiteral(":") + QString::fromLatin1(number);
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    const QString &display() const { return m_display; }

    // Runs an X client (xdotool, setxkbmap) on this display; true when it succeeded.
    bool run(const QString &program, const QStringList &arguments) const
    {
        QProcess client;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        client.setProcessEnvironment(environment);
        client.start(program, arguments);
        return client.waitForFinished(15000) && client.exitStatus() == QProcess::NormalExit &&
               client.exitCode() == 0;
    }

private:
    QProcess m_process;
    QString m_display;
};

template<typename Predicate> bool eventually(Predicate predicate)
{
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (predicate())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return predicate();
}

class X11SessionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return;
        s_server = std::make_unique<Xvfb>();
        if (!s_server->start())
            s_server.reset();
    }
    static void TearDownTestSuite() { s_server.reset(); }

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(s_server) << "Xvfb did not start";
        for (const char *tool : {"xdotool", "setxkbmap"})
            ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                << tool << " is missing";
    }

    bool setOptions(const QString &options) const
    {
        return s_server->run(QStringLiteral("setxkbmap"),
                             {"-layout", "us", "-option", "", "-option", options});
    }

    static std::unique_ptr<Xvfb> s_server;
};

std::unique_ptr<Xvfb> X11SessionTest::s_server;

TEST_F(X11SessionTest, IdleTimeGrowsThenResetsAfterAKeyPress)
{
    X11IdleTimeSource source(s_server->display());
    const SSHidIdleTime idle(source);
    ASSERT_TRUE(s_server->run("xdotool", {"key", "shift"}));
    const quint64 before = idle.idleTime();
    std::this_thread::sleep_for(1500ms);
    const quint64 later = idle.idleTime();
    EXPECT_GE(later, before + 1'000'000'000ULL);
    EXPECT_GE(idle.idleTimeInSeconds(), 1u);

    ASSERT_TRUE(s_server->run("xdotool", {"key", "shift"}));
    EXPECT_TRUE(eventually([&] { return idle.idleTime() < later; }));
    EXPECT_LT(idle.idleTime(), 1'000'000'000ULL);
}

struct OptionsCase
{
    const char *description;
    const char *options;
    QHash<QString, QString> map;
};

class X11ModifierOptionsTest : public X11SessionTest, public ::testing::WithParamInterface<OptionsCase>
{
};

TEST_P(X11ModifierOptionsTest, ReadsTheSessionsXkbOptions)
{
    ASSERT_TRUE(setOptions(GetParam().options));
    X11SystemModifiers session(s_server->display());
    KDModifierMappingReader reader(session);
    EXPECT_EQ(reader.getMap(), GetParam().map);
}

INSTANTIATE_TEST_SUITE_P(Rows, X11ModifierOptionsTest,
                         ::testing::Values(OptionsCase{"nocaps", "ctrl:nocaps", {{"CapsLock", "CtrlLeft"}}},
                                           OptionsCase{"caps_none", "caps:none", {{"CapsLock", "None"}}},
                                           OptionsCase{"swapcaps",
                                                       "ctrl:swapcaps",
                                                       {{"CapsLock", "CtrlLeft"}, {"CtrlLeft", "CapsLock"}}},
                                           OptionsCase{"two_options",
                                                       "altwin:swap_alt_win,grp:alt_shift_toggle",
                                                       {{"AltLeft", "CmdLeft"},
                                                        {"CmdLeft", "AltLeft"},
                                                        {"AltRight", "CmdRight"},
                                                        {"CmdRight", "AltRight"}}},
                                           OptionsCase{"cleared", "", {}}),
                         [](const auto &info) { return std::string(info.param.description); });

TEST_F(X11SessionTest, ReloadSeesANewSetting)
{
    ASSERT_TRUE(setOptions("ctrl:nocaps"));
    X11SystemModifiers session(s_server->display());
    KDModifierMappingReader reader(session);
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CtrlLeft");
    ASSERT_TRUE(setOptions("caps:none"));
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CtrlLeft"); // read once
    reader.reload();
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "None");
}

TEST_F(X11SessionTest, CapsLockFollowsTheXkbState)
{
    ASSERT_TRUE(setOptions(""));
    X11SystemModifiers session(s_server->display());
    ASSERT_EQ(session.isCapsLocked(), false);
    ASSERT_TRUE(s_server->run("xdotool", {"key", "Caps_Lock"}));
    EXPECT_TRUE(eventually([&] { return session.isCapsLocked() == true; }));
    ASSERT_TRUE(s_server->run("xdotool", {"key", "Caps_Lock"}));
    EXPECT_TRUE(eventually([&] { return session.isCapsLocked() == false; }));
}

TEST(X11WithoutServerTest, AnswersAsWithoutAnXServer)
{
    // No server listens on this display number.
    const QString display = QStringLiteral(":31999");
    X11IdleTimeSource idleSource(display);
    X11SystemModifiers modifiers(display);
    EXPECT_EQ(idleSource.idleNanoseconds(), std::nullopt);
    EXPECT_EQ(SSHidIdleTime(idleSource).idleTimeInSeconds(), 0u);
    EXPECT_EQ(modifiers.modifierRemapping(), std::nullopt);
    EXPECT_EQ(modifiers.isCapsLocked(), std::nullopt);
    KDModifierMappingReader reader(modifiers);
    EXPECT_TRUE(reader.getMap().isEmpty());
    EXPECT_EQ(reader.getMappingOfModifier("CapsLock"), "CapsLock");
}

} // namespace
