#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include "CommandNames.h"
#include "DriverLink.h"
#include "DriverSession.h"
#include "FirmwareFiles.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test;

namespace {

using namespace std::chrono_literals;

constexpr qint64 ImageSize = 4096;
const QString Found = QStringLiteral("Keyboard volume found at");

// The firmware upgrade of brevona-layers against the real driver on a simulated keyboard: the
// driver lets go of the volume before the image is written, finds the keyboard again when it
// comes back with its new firmware, and is restarted when the upgrade fails after it let go.
// What is refused, what is written and what is said are proven without the driver (the firmware
// library's tests and brevona-layers' own).
class FirmwareDriverTest : public testing::Test
{
protected:
    void SetUp() override
    {
        session.store().group(QString(), {});
        ASSERT_TRUE(session.volume().create(QByteArray()));
        ASSERT_TRUE(session.volume().createFirmware(QStringLiteral("1.00"), ImageSize, true));
        ASSERT_TRUE(session.start()) << session.error().toStdString();
        image = QDir(session.home().path()).filePath(QStringLiteral("firmware.bin"));
        ASSERT_TRUE(writeFileBytes(image, firmwareImage("V1.10", ImageSize)));
    }

    // The tool in the session (its home, its bus, its keyboard); the driver it may start is the
    // one built here.
    void startTool(QProcess &process, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), session.busAddress());
        environment.insert(QStringLiteral("PATH"),
                           QFileInfo(QStringLiteral(BREVONA_DRIVER_EXECUTABLE)).path() + QLatin1Char(':') +
                               environment.value(QStringLiteral("PATH")));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BREVONA_LAYERS_EXECUTABLE), arguments);
    }
    bool driverOnBus() { return session.bus().interface()->isServiceRegistered(commands::ServiceName); }

    DriverSession session;
    QString image;
};

TEST_F(FirmwareDriverTest, TheDriverLetsGoForTheWriteAndFindsTheUpgradedKeyboard)
{
    const int found = session.logCount(Found);
    QProcess process;
    startTool(process, {QStringLiteral("firmware"), QStringLiteral("upgrade"), image});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(session.commandCount(QStringLiteral("ForceDeviceStop")), 1);
    EXPECT_GE(session.logCount(QStringLiteral("clear state")), 1);

    // The keyboard installs it and comes back: the driver takes it as after any mount.
    ASSERT_TRUE(session.volume().reconnect(1500ms));
    ASSERT_TRUE(session.waitForLog(Found, found + 1));
    EXPECT_EQ(session.process().state(), QProcess::Running);
}

TEST_F(FirmwareDriverTest, AWriteThatFailsAfterTheDriverLetGoRestartsIt)
{
    QProcess process;
    startTool(process,
              {QStringLiteral("--verbose"), QStringLiteral("firmware"), QStringLiteral("upgrade"), image});
    ASSERT_TRUE(session.waitForCommand(QStringLiteral("ForceDeviceStop"), 0));
    // Unplugged during the pause: nothing to write to.
    ASSERT_TRUE(session.volume().unplug());
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString error = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), 1) << error.toStdString();

    // The driver that let go was told to end, and another one took its place.
    ASSERT_TRUE(session.waitForExit());
    EXPECT_EQ(session.commandCount(QStringLiteral("Terminate")), 1);
    EXPECT_TRUE(waitUntil([&] { return driverOnBus(); }, 20s)) << error.toStdString();
    ASSERT_TRUE(session.volume().plugIn());

    // The restarted driver is not the session's: it is ended here.
    DriverLink link(session.busAddress());
    if (link.setupDriverConnection()) {
        link.notifyDriverForCommand(commands::Terminate);
        link.flush();
    }
    EXPECT_TRUE(waitUntil([&] { return !driverOnBus(); }, 20s));
}

} // namespace
