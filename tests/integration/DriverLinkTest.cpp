// The configurator's sending end over a real bus against a stand-in driver: one-way sends, dropped commands
// without a driver, the announcements, and one reconnection after a failed send.
#include <QDBusConnection>
#include <QDir>
#include <QPoint>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "DriverLink.h"
#include "FakeDriver.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test;
using Result = DriverLink::SendResult;
using namespace std::chrono_literals;

namespace {

class DriverLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
    }
};

TEST_F(DriverLinkTest, SendsOneWayToTheDriverThatOwnsTheName)
{
    FakeDriver driver(QStringLiteral("fake-driver"));
    ASSERT_TRUE(driver.own());
    DriverLink link;
    ASSERT_TRUE(link.setupDriverConnection());
    EXPECT_EQ(link.driverAddress(), driver.bus().baseService());
    EXPECT_EQ(link.notifyDriverForCommand("ButtonsChanged", {{"LayerId", "L"}}), Result::Sent);
    EXPECT_EQ(link.notifyDriverForCommand("ForceDeviceStop"), Result::Sent);
    ASSERT_TRUE(driver.waitForCommands(2));
    EXPECT_EQ(driver.received()[0].name, "ButtonsChanged");
    EXPECT_FALSE(driver.received()[0].replyRequired);
    EXPECT_EQ(driver.received()[1].name, "ForceDeviceStop");
    EXPECT_TRUE(driver.received()[1].info.isEmpty());
    // What cannot travel is refused before it is sent, and the link stays connected.
    EXPECT_EQ(link.notifyDriverForCommand("ButtonsChanged", {{"Where", QPoint(1, 2)}}), Result::Rejected);
    EXPECT_TRUE(link.isConnected());
}

TEST_F(DriverLinkTest, FollowsTheDriversAnnouncements)
{
    FakeDriver driver(QStringLiteral("fake-driver"));
    ASSERT_TRUE(driver.own());
    DriverLink link;
    link.setReconnectDelay(200);
    ASSERT_TRUE(link.setupDriverConnection());

    ASSERT_TRUE(driver.announce("BrevonaDriverTerminated"));
    ASSERT_TRUE(waitUntil([&] { return !link.isConnected(); }));
    EXPECT_EQ(link.notifyDriverForCommand("RefreshLayer"), Result::NoDriver);

    // The link looks again only after the delay, when the new driver has registered.
    ASSERT_TRUE(driver.announce("BrevonaDriverLaunched"));
    settle(50ms);
    EXPECT_FALSE(link.isConnected());
    ASSERT_TRUE(waitUntil([&] { return link.isConnected(); }));
    EXPECT_EQ(link.notifyDriverForCommand("RefreshLayer"), Result::Sent);
    ASSERT_TRUE(driver.waitForCommands(1));
    settle(100ms);
    EXPECT_EQ(driver.received().size(), 1);
}

// A bus of the test's own, at a fixed address so that it can be stopped and started again.
class PrivateBus
{
public:
    explicit PrivateBus(const QString &folder)
        : m_address(QStringLiteral("unix:path=%1").arg(QDir(folder).filePath(QStringLiteral("bus"))))
    {}
    ~PrivateBus() { stop(); }
    bool start()
    {
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"),
                        QStringLiteral("--print-address"), QStringLiteral("--address=") + m_address});
        return m_daemon.waitForStarted(5000) && m_daemon.waitForReadyRead(5000);
    }
    void stop()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished(5000);
        }
    }
    const QString &address() const { return m_address; }

private:
    QString m_address;
    QProcess m_daemon;
};

TEST_F(DriverLinkTest, AFailedSendReconnectsOnceAndDropsTheCommand)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    PrivateBus bus(folder.path());
    ASSERT_TRUE(bus.start());
    auto driver = std::make_unique<FakeDriver>(QStringLiteral("fake-on-private-bus"), bus.address());
    ASSERT_TRUE(driver->own());
    DriverLink link(bus.address());
    ASSERT_TRUE(link.setupDriverConnection());

    // The bus goes away and comes back, with the driver on it again.
    driver.reset();
    bus.stop();
    ASSERT_TRUE(waitUntil([&] { return !link.isBusConnected(); }));
    ASSERT_TRUE(bus.start());
    driver = std::make_unique<FakeDriver>(QStringLiteral("fake-on-private-bus-2"), bus.address());
    ASSERT_TRUE(driver->own());

    // The send on the broken connection fails; the link then connects again at once, but the failed command
    // is not repeated.
    EXPECT_EQ(link.notifyDriverForCommand("ButtonsChanged", {{"LayerId", "Lost"}}), Result::Failed);
    EXPECT_TRUE(link.isConnected());
    EXPECT_EQ(link.notifyDriverForCommand("ButtonsChanged", {{"LayerId", "Kept"}}), Result::Sent);
    ASSERT_TRUE(driver->waitForCommands(1));
    settle(100ms);
    ASSERT_EQ(driver->received().size(), 1);
    EXPECT_EQ(driver->received()[0].info["LayerId"], "Kept");
}

TEST_F(DriverLinkTest, AFailedSendWithoutABusLeavesTheLinkDisconnected)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    PrivateBus bus(folder.path());
    ASSERT_TRUE(bus.start());
    FakeDriver driver(QStringLiteral("fake-on-lost-bus"), bus.address());
    ASSERT_TRUE(driver.own());
    DriverLink link(bus.address());
    ASSERT_TRUE(link.setupDriverConnection());
    bus.stop();
    ASSERT_TRUE(waitUntil([&] { return !link.isBusConnected(); }));

    EXPECT_EQ(link.notifyDriverForCommand("RefreshLayer"), Result::Failed);
    EXPECT_FALSE(link.isConnected());
    // No retry loop: later commands are simply dropped.
    EXPECT_EQ(link.notifyDriverForCommand("RefreshLayer"), Result::NoDriver);
}

} // namespace
