// brevona-layers firmware on a simulated keyboard: its arguments and one outcome for each exit
// status; which files the upgrade refuses, and why, is the firmware library's to prove.
#include <QDBusConnection>
#include <QDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include "DriverCommandSink.h"
#include "FakeDriver.h"
#include "FirmwareFiles.h"
#include "LayersCommandLine.h"
#include "SimulatedVolume.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test;

namespace {

using namespace std::chrono_literals;

constexpr qint64 ImageSize = 2048;

class NoSink : public DriverCommandSink
{
public:
    void sendCommand(const QString &, const QVariantMap &) override {}
};

enum class Setup
{
    Good,
    WrongSize,
    Missing,
    NotConnected,
};

struct Row
{
    const char *name;
    QStringList arguments; // "FILE" stands for the file the row makes
    Setup setup;
    int status;
    const char *says; // on standard output for status 0, else standard error
};

class FirmwareCommandLine : public testing::TestWithParam<Row>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(volume.create(QByteArray()));
        ASSERT_TRUE(volume.createFirmware(QStringLiteral("1.00"), ImageSize, true));
        home.setEnvironment("BREVONA_SIMULATED_KEYBOARD", volume.root());
        // No shipped image in the test's resources: "upgrade" without FILE has nothing newer.
        home.setEnvironment("BREVONA_RESOURCE_DIR", home.path());
        ASSERT_TRUE(driver.isConnected() && driver.own());
    }
    void TearDown() override { driver.release(); }

    TestHome home;
    SimulatedVolume volume{QDir(home.path()).filePath(QStringLiteral("keyboard"))};
    FakeDriver driver{QStringLiteral("stand-in-driver")};
    NoSink sink;
};

TEST_P(FirmwareCommandLine, ExitsWithTheStatusOfItsOutcome)
{
    const Row &row = GetParam();
    const QString path = QDir(home.path()).filePath(QStringLiteral("firmware.bin"));
    const QByteArray good = firmwareImage("V1.10", ImageSize);
    const QByteArray before = fileBytes(volume.firmwareImagePath());
    switch (row.setup) {
    case Setup::Good:
        ASSERT_TRUE(writeFileBytes(path, good));
        break;
    case Setup::WrongSize:
        ASSERT_TRUE(writeFileBytes(path, firmwareImage("V1.10", ImageSize + 1)));
        break;
    case Setup::Missing:
        break;
    case Setup::NotConnected:
        ASSERT_TRUE(writeFileBytes(path, good));
        ASSERT_TRUE(volume.unplug());
        break;
    }
    QStringList arguments = row.arguments;
    arguments.replaceInStrings(QStringLiteral("FILE"), path);

    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const int status =
        LayersCommandLine(outStream, errStream, QDir(home.dataHome()).filePath("Lumivox/Layers"), &sink)
            .run(arguments);
    EXPECT_EQ(status, row.status) << err.toStdString();
    EXPECT_TRUE((status == 0 ? out : err).contains(QLatin1String(row.says))) << (out + err).toStdString();
    if (status != 0) {
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
    }
    if (row.setup == Setup::NotConnected) {
        ASSERT_TRUE(volume.plugIn());
    }
    const bool upgraded = row.status == 0 && row.arguments.contains(QStringLiteral("upgrade"));
    EXPECT_TRUE(fileBytes(volume.firmwareImagePath()) == (upgraded ? good : before));
    settle(200ms);
    QStringList commands;
    for (const auto &received : driver.received())
        commands << received.name;
    EXPECT_EQ(commands, upgraded ? QStringList({"ForceDeviceStop"}) : QStringList());
}

// clang-format off
const Row kRows[] = {
    {.name = "Status", .arguments = {"firmware", "status"}, .setup = Setup::Good, .status = 0, .says = "Keyboard is connected\nInstalled: 1.00\nLatest: -.--"},
    {.name = "Upgrade", .arguments = {"firmware", "upgrade", "FILE"}, .setup = Setup::Good, .status = 0, .says = "Firmware 1.10 written"},
    {.name = "WrongSize", .arguments = {"firmware", "upgrade", "FILE"}, .setup = Setup::WrongSize, .status = 2, .says = "is 2049 bytes"},
    {.name = "Missing", .arguments = {"firmware", "upgrade", "FILE"}, .setup = Setup::Missing, .status = 2, .says = "cannot be found"},
    {.name = "NotConnected", .arguments = {"firmware", "upgrade", "FILE"}, .setup = Setup::NotConnected, .status = 1, .says = "The keyboard is not connected"},
    {.name = "UpgradeWithoutFileTakesTheShippedImage", .arguments = {"firmware", "upgrade"}, .setup = Setup::Good, .status = 1, .says = "is not older than -.--"},
    {.name = "UnknownVerb", .arguments = {"firmware", "flash"}, .setup = Setup::Good, .status = 2, .says = "firmware takes status or upgrade"},
    {.name = "TwoFiles", .arguments = {"firmware", "upgrade", "FILE", "FILE"}, .setup = Setup::Good, .status = 2, .says = "firmware takes status or upgrade"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, FirmwareCommandLine, testing::ValuesIn(kRows), RowName());

} // namespace
