#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "DriverProcess.h"
#include "StoreBuilder.h"
#include "TestHome.h"

using namespace brevona;
using namespace brevona::test;

namespace {

int argc = 1;
char appName[] = "driver_process_test";
char *argv[] = {appName, nullptr};
QCoreApplication app(argc, argv);

const QString Service = QStringLiteral("brevona.kettlewood.com.server");
const QString Announcements = QStringLiteral("com.kettlewood.Brevona.Notifications");

// Counts the driver's session-bus announcements, as any other program would see them.
class AnnouncementListener : public QObject
{
    Q_OBJECT
public:
    AnnouncementListener()
    {
        auto bus = QDBusConnection::sessionBus();
        bus.connect(QString(), QStringLiteral("/"), Announcements, QStringLiteral("BrevonaDriverLaunched"),
                    this, SLOT(onLaunched()));
        bus.connect(QString(), QStringLiteral("/"), Announcements, QStringLiteral("BrevonaDriverTerminated"),
                    this, SLOT(onTerminated()));
    }
    int launched = 0;
    int terminated = 0;

    bool waitFor(const int &counter, int expected, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (counter < expected && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return counter >= expected;
    }

public Q_SLOTS:
    void onLaunched() { ++launched; }
    void onTerminated() { ++terminated; }
};

class DriverProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
        ASSERT_TRUE(home.isValid());
        store =
            std::make_unique<StoreBuilder>(QDir(home.dataHome()).filePath(QStringLiteral("Lumivox/Layers")));
        home.setEnvironment("BREVONA_RESOURCE_DIR", QStringLiteral(BREVONA_RESOURCE_DIR));
    }

    bool serviceRegistered()
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(Service);
    }

    TestHome home;
    std::unique_ptr<StoreBuilder> store;
};

} // namespace

TEST_F(DriverProcessTest, AnnouncesLaunchAndTerminatesOnCommand)
{
    AnnouncementListener listener;
    DriverProcess driver;
    ASSERT_TRUE(driver.start());
    ASSERT_TRUE(listener.waitFor(listener.launched, 1)) << driver.log().toStdString();
    EXPECT_TRUE(driver.waitForLog(QStringLiteral("Server started")));
    EXPECT_TRUE(serviceRegistered());

    EXPECT_TRUE(gdbusNotify(QStringLiteral("Terminate")));
    ASSERT_TRUE(driver.waitForExit());
    EXPECT_EQ(driver.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(driver.process().exitCode(), 0);
    EXPECT_TRUE(listener.waitFor(listener.terminated, 1));
}

TEST_F(DriverProcessTest, SigtermAnnouncesTermination)
{
    AnnouncementListener listener;
    DriverProcess driver;
    ASSERT_TRUE(driver.start());
    ASSERT_TRUE(listener.waitFor(listener.launched, 1)) << driver.log().toStdString();
    driver.process().terminate();
    ASSERT_TRUE(driver.waitForExit());
    EXPECT_EQ(driver.process().exitCode(), 0);
    EXPECT_TRUE(listener.waitFor(listener.terminated, 1));
}

TEST_F(DriverProcessTest, NewerInstanceKillsTheOlderOne)
{
    AnnouncementListener listener;
    DriverProcess first;
    ASSERT_TRUE(first.start());
    ASSERT_TRUE(first.waitForLog(QStringLiteral("Server started")));
    const QString firstLog = first.log();

    DriverProcess second;
    ASSERT_TRUE(second.start());
    ASSERT_TRUE(second.waitForLog(QStringLiteral("Server started"))) << second.log().toStdString();
    EXPECT_TRUE(first.waitForExit());
    EXPECT_EQ(first.process().exitStatus(), QProcess::CrashExit);
    // Killed outright: it logs nothing more and announces nothing.
    EXPECT_EQ(first.log(), firstLog);
    EXPECT_EQ(second.logCount(QStringLiteral("Previous instance of BrevonaDriver killed")), 1);
    EXPECT_TRUE(listener.waitFor(listener.launched, 2));
    EXPECT_EQ(listener.terminated, 0);
    EXPECT_TRUE(serviceRegistered());
    EXPECT_TRUE(gdbusNotify(QStringLiteral("Terminate")));
    EXPECT_TRUE(second.waitForExit());
}

TEST_F(DriverProcessTest, CommandsFromOutsideClientsChangeTheComposition)
{
    store->group(QString(), {"A", "G"});
    store->layer(QStringLiteral("A"));
    store->group(QStringLiteral("G"), {"B"});
    store->layer(QStringLiteral("G/B"));
    DriverProcess driver;
    ASSERT_TRUE(driver.start());
    ASSERT_TRUE(driver.waitForLog(QStringLiteral("Server started")));
    EXPECT_EQ(driver.lastComposition(), (QStringList{"(default)", "BlackLayer", "B", "A"}));

    ASSERT_TRUE(gdbusNotify(QStringLiteral("LayerVisibilityChanged"),
                            QStringLiteral("{'LayerId': <'A'>, 'Enabled': <false>}")));
    ASSERT_TRUE(driver.waitForLog(QStringLiteral("Composition:"), 10000, 2));
    EXPECT_EQ(driver.lastComposition(), (QStringList{"(default)", "BlackLayer", "B"}));

    ASSERT_TRUE(gdbusNotify(
        QStringLiteral("LayersMoved"),
        QStringLiteral("{'GroupId': <'Layers'>, 'LayerIds': <['B']>, 'ItemOrder': <['B', 'A', 'G']>}")));
    ASSERT_TRUE(driver.waitForLog(QStringLiteral("Composition:"), 10000, 3));
    EXPECT_EQ(driver.lastComposition(), (QStringList{"(default)", "BlackLayer", "B"}));

    // A failing command is logged and followed by no recomposition.
    ASSERT_TRUE(gdbusNotify(QStringLiteral("LayersMoved"), QStringLiteral("{'GroupId': <'Nope'>}")));
    ASSERT_TRUE(driver.waitForLog(QStringLiteral("LayersMoved command has illegal target group id")));
    EXPECT_EQ(driver.logCount(QStringLiteral("Composition:")), 3);

    // Toggle requests arrive as a session-bus signal from any program.
    QProcess send;
    send.start(QStringLiteral("dbus-send"),
               {QStringLiteral("--session"), QStringLiteral("--type=signal"), QStringLiteral("/"),
                Announcements + QStringLiteral(".LUMIVOX_BREVONA_TOGGLE_LAYER_ACTION"),
                QStringLiteral("string:B")});
    ASSERT_TRUE(send.waitForFinished(10000));
    ASSERT_TRUE(driver.waitForLog(QStringLiteral("Composition:"), 10000, 4));
    EXPECT_EQ(driver.lastComposition(), (QStringList{"(default)", "BlackLayer"}));

    EXPECT_TRUE(gdbusNotify(QStringLiteral("Terminate")));
    EXPECT_TRUE(driver.waitForExit());
}

#include "DriverProcessTest.moc"
