// The real driver on a simulated keyboard under Xvfb: an action key pressed on this keyboard runs
// the sample command plugin once; the same key typed on another keyboard (xdotool) runs nothing.
#include <algorithm>
#include <memory>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "DriverProcess.h"
#include "SimulatedHidBackend.h"
#include "StoreBuilder.h"
#include "TestHome.h"
#include "X11TestWindow.h"
#include "XvfbServer.h"

using namespace brevona;
using namespace brevona::test;

namespace {

constexpr int KeyA = 38;
constexpr int KeyB = 56;

// xdotool reading its commands from a pipe: connected and waiting before the test needs it, so a
// key is typed within a millisecond or two of the request.
class Typist
{
public:
    explicit Typist(const QString &display)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        m_process.setProcessEnvironment(environment);
        // Line-buffered output, so that the answer to the readiness probe comes at once.
        m_process.start(QStringLiteral("stdbuf"),
                        {QStringLiteral("-oL"), QStringLiteral("xdotool"), QStringLiteral("-")});
        if (!m_process.waitForStarted(5000))
            return;
        m_process.write("getmouselocation\n");
        QDeadlineTimer deadline(10000);
        while (!m_process.canReadLine() && !deadline.hasExpired())
            m_process.waitForReadyRead(100);
        m_ready = m_process.canReadLine();
    }
    ~Typist()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool isReady() const { return m_ready; }
    void key(const char *keys)
    {
        m_process.write(QByteArray("key ") + keys + '\n');
        m_process.waitForBytesWritten(1000);
    }

private:
    QProcess m_process;
    bool m_ready = false;
};

QVariantMap commandAction(const QString &tag, const QString &journal)
{
    // The tag and the file travel as arguments, never as shell text.
    const QVariantList arguments{"-c", "echo \"$1\" >> \"$2\"", "sh", tag, journal};
    return {{"ActionPlugin",
             QVariantMap{{"Signature", "brevona.action.general.command"},
                         {"Settings", QVariantMap{{"command", "/bin/sh"}, {"arguments", arguments}}}}}};
}

class ActionDriverTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!XvfbServer::isInstalled() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            return;
        server = new XvfbServer;
        if (!server->start()) {
            delete server;
            server = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    void SetUp() override
    {
        if (!server)
            GTEST_SKIP() << "needs Xvfb and xdotool";
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
        ASSERT_TRUE(home.isValid());
        keyboard = QDir(home.path()).filePath(QStringLiteral("keyboard"));
        journal = QDir(home.path()).filePath(QStringLiteral("fired.txt"));
        home.setEnvironment("BREVONA_RESOURCE_DIR", QStringLiteral(BREVONA_RESOURCE_DIR));
        home.setEnvironment("BREVONA_SYSTEM_PLUGIN_DIR", QStringLiteral(BREVONA_SAMPLE_PLUGIN_DIR));
        home.setEnvironment("BREVONA_SIMULATED_KEYBOARD", keyboard);
        home.setEnvironment("DISPLAY", server->display());
        QProcess sim;
        sim.setStandardOutputFile(QProcess::nullDevice());
        sim.start(QStringLiteral(BREVONA_SIM_EXECUTABLE), {QStringLiteral("create"), keyboard});
        ASSERT_TRUE(sim.waitForFinished(30000) && sim.exitCode() == 0);

        StoreBuilder store(QDir(home.dataHome()).filePath(QStringLiteral("Lumivox/Layers")));
        store.group(QString(), {"Actions"});
        store.layer(QStringLiteral("Actions"),
                    {{"Buttons", QVariantMap{{"A", commandAction("A", journal)},
                                             {"App3", commandAction("App3", journal)}}}});
        ASSERT_TRUE(driver.start());
        ASSERT_TRUE(driver.waitForLog(QStringLiteral("Hot key 1 registered for A/0"), 30000))
            << driver.log().toStdString();
    }

    // A key going down or up on the simulated keyboard; true when the driver took it.
    bool simulate(const QString &line)
    {
        QString error;
        const auto answer = SimulatedHidBackend::sendLine(keyboard, line, &error);
        EXPECT_TRUE(answer && *answer == QLatin1String("ok")) << error.toStdString();
        return answer && *answer == QLatin1String("ok");
    }

    // Lets some time pass while the driver's log keeps flowing.
    void pause(int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            driver.process().waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
            driver.log();
        }
    }

    // The lines the actions wrote, once `count` of them are there or the time ran out.
    QStringList fired(int count, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        QStringList lines;
        do {
            QFile file(journal);
            lines = file.open(QIODevice::ReadOnly)
                        ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                        : QStringList();
            if (lines.size() >= count)
                break;
            pause(20);
        } while (!deadline.hasExpired());
        return lines;
    }

    static XvfbServer *server;
    TestHome home;
    QString keyboard;
    QString journal;
    DriverProcess driver;
};

XvfbServer *ActionDriverTest::server = nullptr;

TEST_F(ActionDriverTest, KeyOfThisKeyboardRunsTheCommandOnceAndOtherKeyboardsDoNot)
{
    X11TestWindow window(server->display());
    ASSERT_TRUE(window.hasFocus());
    Typist typist(server->display());
    ASSERT_TRUE(typist.isReady());

    // This keyboard: its HID key-down and, as the same press passes the X server, the hot key.
    ASSERT_TRUE(simulate(QStringLiteral("down A")));
    typist.key("a");
    ASSERT_TRUE(simulate(QStringLiteral("up A")));
    ASSERT_TRUE(driver.waitForLog(QStringLiteral("trigger 1")));
    EXPECT_EQ(fired(1, 10000), QStringList{"A"});

    // Another keyboard: only the hot key.
    typist.key("a");
    ASSERT_TRUE(driver.waitForLog(QStringLiteral("trigger 1"), 10000, 2));
    // This keyboard's key-down without the X server's key press (no key code reached the session),
    // well after the other keyboard's.
    pause(300);
    ASSERT_TRUE(simulate(QStringLiteral("down A")));
    ASSERT_TRUE(simulate(QStringLiteral("up A")));
    EXPECT_EQ(fired(2, 1500), QStringList{"A"}) << driver.log().toStdString();

    // The focused window saw none of the grabbed presses, only the free key typed after them.
    typist.key("b");
    EXPECT_EQ(window.keyPressesUntil(KeyB), std::vector<int>{KeyB});
}

TEST_F(ActionDriverTest, ApplicationKeyRunsFromTheMultimediaKeyAlone)
{
    ASSERT_TRUE(simulate(QStringLiteral("down Calender*")));
    ASSERT_TRUE(simulate(QStringLiteral("up Calender*")));
    EXPECT_EQ(fired(1, 10000), QStringList{"App3"});
    EXPECT_EQ(fired(2, 1000), QStringList{"App3"}) << "once";
    EXPECT_EQ(driver.logCount(QStringLiteral("trigger ")), 0);
}

TEST_F(ActionDriverTest, AKeyTappedOnTheSimulatorReachesTheSessionToo)
{
    // As the real keyboard's presses pass the X server, the simulator's reach it through XTEST.
    QProcess sim;
    sim.start(QStringLiteral(BREVONA_SIM_EXECUTABLE), {QStringLiteral("tap"), QStringLiteral("A"), keyboard});
    ASSERT_TRUE(sim.waitForFinished(30000) && sim.exitCode() == 0)
        << sim.readAllStandardError().toStdString();
    EXPECT_EQ(fired(1, 10000), QStringList{"A"}) << driver.log().toStdString();
    EXPECT_EQ(fired(2, 1000), QStringList{"A"}) << "once";
}

} // namespace
