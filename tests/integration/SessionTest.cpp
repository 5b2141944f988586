// The real driver in an X11 session under Xvfb with a window manager and real clients: the layers follow the
// application in front, the input language and the XKB options; a key of this keyboard with an action runs
// it.
#include <memory>

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include "DriverSession.h"
#include "SimulatedHidBackend.h"
#include "Wait.h"
#include "XvfbTest.h"

using namespace brevona;
using namespace brevona::test;
using namespace std::chrono_literals;

namespace {

const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);

class SessionTest : public XvfbTest
{
public:
    static void SetUpTestSuite()
    {
        startServer({.windowManager = true, .tools = {"xdotool", "setxkbmap", "stdbuf"}});
    }

protected:
    void SetUp() override
    {
        XvfbTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The server outlives the tests: each starts from a plain keyboard.
        ASSERT_TRUE(server().run("setxkbmap", {"-layout", "us", "-option", ""}));
        session = std::make_unique<DriverSession>(DriverSession::Options{
            .plugins = QStringLiteral(BREVONA_SAMPLE_PLUGIN_DIR), .display = display()});
    }

    bool waitForComposition(const QStringList &expected)
    {
        return waitUntil([&] { return session->composition() == expected; }, 10s);
    }

    std::unique_ptr<DriverSession> session;
};

// A desktop entry that names the window class of the application `id`.
void writeEntry(const QString &dataHome, const QString &id, const QString &windowClass)
{
    const QString folder = QDir(dataHome).filePath(QStringLiteral("applications"));
    QDir().mkpath(folder);
    QFile file(QDir(folder).filePath(id + QStringLiteral(".desktop")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nType=Application\nName=" + id.toUtf8() +
               "\nExec=/nonexistent/program\nStartupWMClass=" + windowClass.toUtf8() + "\n");
}

TEST_F(SessionTest, LayersFollowTheSession)
{
    writeEntry(session->home().dataHome(), "org.example.Alpha", "brevona-alpha");
    StoreBuilder &store = session->store();
    store.group(QString(), {"AppA", "German", "Keys"});
    store.layer("AppA",
                {{"Conditions", QVariantList{StoreBuilder::application("org.example.Alpha", "isActive")}}});
    store.layer("German", {{"Conditions", QVariantList{StoreBuilder::language("de")}}});
    store.layer("Keys", {{"Buttons", StoreBuilder::buttons({"CapsLock", "CtrlLeft"})}},
                StoreBuilder::layerPicture({{"CapsLock", Red}, {"CtrlLeft", Green}}));
    ASSERT_TRUE(session->start()) << session->error().toStdString();
    const QStringList base{"(default)", "BlackLayer", "Keys"};
    ASSERT_TRUE(waitForComposition(base)) << session->log().toStdString();

    // With Caps Lock and Control swapped each key shows the other's picture.
    ASSERT_TRUE(session->waitForColour("CapsLock", Red) && session->waitForColour("CtrlLeft", Green));
    ASSERT_TRUE(server().run("setxkbmap", {"-option", "ctrl:swapcaps"}));
    EXPECT_TRUE(session->waitForColour("CapsLock", Green) && session->waitForColour("CtrlLeft", Red));

    // The application in front, then one without a desktop entry.
    const QString alpha = window("brevona-alpha");
    const QString other = window("brevona-other");
    ASSERT_FALSE(alpha.isEmpty() || other.isEmpty());
    for (const auto &[id, layers] :
         {std::pair{alpha, QStringList{"AppA"}}, {other, QStringList{}}, {alpha, QStringList{"AppA"}}}) {
        ASSERT_TRUE(server().run("xdotool", {"windowactivate", "--sync", id}));
        EXPECT_TRUE(waitForComposition(base + layers)) << layers.join(' ').toStdString();
    }

    // The input language.
    ASSERT_TRUE(server().run("setxkbmap", {"-layout", "de"}));
    EXPECT_TRUE(waitForComposition(base + QStringList{"German", "AppA"})) << session->log().toStdString();
}

// xdotool reading its commands from a pipe: connected before the test needs it, so that a key is typed within
// a millisecond or two of the request, as the same press of this keyboard would.
class Typist
{
public:
    explicit Typist(const QString &display)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        m_process.setProcessEnvironment(environment);
        // Line-buffered output, so that the answer to the readiness probe comes at once.
        m_process.start(QStringLiteral("stdbuf"), {"-oL", "xdotool", "-"});
        m_process.write("getmouselocation\n");
        m_ready = waitUntil([&] { return m_process.canReadLine(); }, 10s);
    }
    ~Typist()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
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

class ActionKeyTest : public SessionTest
{
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        journal = QDir(session->home().path()).filePath(QStringLiteral("fired.txt"));
        session->store().group(QString(), {"Actions"});
        session->store().layer("Actions", {{"Buttons", QVariantMap{{"A", commandAction("A")}}}});
        ASSERT_TRUE(session->start()) << session->error().toStdString();
        ASSERT_TRUE(session->waitForLog(QStringLiteral("Hot key 1 registered for A/0"), 1, 30s))
            << session->log().toStdString();
    }

    QVariantMap commandAction(const QString &tag) const
    {
        // The tag and the file travel as arguments, never as shell text.
        const QVariantList arguments{"-c", "echo \"$1\" >> \"$2\"", "sh", tag, journal};
        return {{"ActionPlugin", StoreBuilder::plugin("brevona.action.general.command",
                                                      {{"command", "/bin/sh"}, {"arguments", arguments}})}};
    }

    // A key going down or up on the simulated keyboard; true when the driver took it.
    bool simulate(const QString &line)
    {
        QString error;
        const auto answer = SimulatedHidBackend::sendLine(session->volume().root(), line, &error);
        EXPECT_TRUE(answer && *answer == QLatin1String("ok")) << error.toStdString();
        return answer && *answer == QLatin1String("ok");
    }

    // The lines the actions wrote.
    QStringList fired() const
    {
        QFile file(journal);
        return file.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                   : QStringList();
    }

    QString journal;
};

TEST_F(ActionKeyTest, KeyOfThisKeyboardRunsTheCommand)
{
    Typist typist(display());
    ASSERT_TRUE(typist.isReady());

    // This keyboard: its HID key-down and, as the same press passes the X server, the hot key.
    ASSERT_TRUE(simulate(QStringLiteral("down A")));
    typist.key("a");
    ASSERT_TRUE(simulate(QStringLiteral("up A")));
    ASSERT_TRUE(session->waitForLog(QStringLiteral("trigger 1")));
    EXPECT_TRUE(waitUntil([&] { return fired() == QStringList{"A"}; }, 10s)) << session->log().toStdString();
}

TEST_F(ActionKeyTest, KeyTappedOnTheSimulatorReachesTheSessionAndRunsOnce)
{
    // As the real keyboard's presses pass the X server, the simulator's reach it through XTEST.
    QProcess sim;
    sim.start(QStringLiteral(BREVONA_SIM_EXECUTABLE),
              {QStringLiteral("tap"), QStringLiteral("A"), session->volume().root()});
    ASSERT_TRUE(waitUntil([&] { return sim.state() == QProcess::NotRunning; }, 30s) && sim.exitCode() == 0)
        << sim.readAllStandardError().toStdString();
    EXPECT_TRUE(waitUntil([&] { return fired() == QStringList{"A"}; }, 10s)) << session->log().toStdString();
    settle(1s);
    EXPECT_EQ(fired(), QStringList{"A"}) << "once";
}

} // namespace
