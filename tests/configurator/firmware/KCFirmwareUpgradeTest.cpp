// The firmware page on a simulated keyboard: the status checks, the chosen file, and the upgrade
// sequence against a stand-in driver on the test's session bus, with a launcher fake in place of
// systemd.
#include <sys/stat.h>

#include <algorithm>
#include <memory>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "DriverLink.h"
#include "FakeDriver.h"
#include "FakeDriverLauncher.h"
#include "FirmwareDriverLink.h"
#include "FirmwareFiles.h"
#include "KCFirmwareUpgrade.h"
#include "SimulatedVolume.h"
#include "SimulatedVolumeMonitor.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "Wait.h"

using namespace brevona;
using namespace brevona::test;

namespace {

using namespace std::chrono_literals;

constexpr qint64 ImageSize = 4096;

ino_t inodeOf(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

QStringList names(const QList<FakeDriver::Received> &received)
{
    QStringList list;
    for (const auto &command : received)
        list << command.name;
    return list;
}

// The keyboard has firmware 1.00; the driver it gives back the keyboard to is a program.
class FirmwareUpgrade : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the suite runs on a session bus";
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(volume.create(QByteArray()));
        ASSERT_TRUE(volume.createFirmware(QStringLiteral("1.00"), ImageSize, true));
        ASSERT_TRUE(driver.isConnected() && driver.own());
        ASSERT_TRUE(link.setupDriverConnection());
        original = fileBytes(volume.firmwareImagePath());
    }

    void TearDown() override
    {
        upgrade.reset();
        driver.release();
    }

    KCFirmwareUpgrade &make()
    {
        upgrade = std::make_unique<KCFirmwareUpgrade>(monitor, control, shipped);
        upgrade->setTiming(
            {.volumeSettleMs = 100, .windowCheckMs = 100, .lockMs = 3000, .driverPauseMs = 2000});
        upgrade->setTargetIo(io);
        failures = std::make_unique<QSignalSpy>(upgrade.get(), &KCFirmwareUpgrade::upgradeFailed);
        written = std::make_unique<QSignalSpy>(upgrade.get(), &KCFirmwareUpgrade::imageWritten);
        return *upgrade;
    }

    QString file(const QString &name) const { return QDir(home.path()).filePath(name); }
    QString chosen(const QByteArray &bytes)
    {
        EXPECT_TRUE(writeFileBytes(file(QStringLiteral("chosen.bin")), bytes));
        return file(QStringLiteral("chosen.bin"));
    }

    TestHome home;
    SimulatedVolume volume{QDir(home.path()).filePath(QStringLiteral("keyboard"))};
    SimulatedVolumeMonitor monitor{volume.root()};
    FakeDriver driver{QStringLiteral("stand-in-driver")};
    DriverLink link;
    FakeDriverLauncher launcher;
    FirmwareDriverLink control{
        link, launcher, {.program = QStringLiteral("/bin/true"), .stopTimeoutMs = 300}};
    QString shipped = file(QStringLiteral("shipped.bin"));
    FirmwareTarget::Io io = FirmwareTarget::systemIo();
    std::unique_ptr<KCFirmwareUpgrade> upgrade;
    std::unique_ptr<QSignalSpy> failures;
    std::unique_ptr<QSignalSpy> written;
    QByteArray original;
};

TEST_F(FirmwareUpgrade, WritesTheImageInPlaceOnlyAfterTheDriverLetGo)
{
    const QByteArray image = firmwareImage("V1.10", ImageSize);
    const ino_t inode = inodeOf(volume.firmwareImagePath());
    // The device takes 100 bytes a call: the write is continued until the whole image is in, then
    // synced. What the driver had heard is taken at the first byte written.
    QStringList calls;
    qsizetype heardBeforeWrite = -1;
    io.pwrite = [&](int fd, const char *bytes, size_t count, off_t offset) {
        if (heardBeforeWrite < 0)
            heardBeforeWrite = driver.received().size();
        calls << QStringLiteral("write");
        return ::pwrite(fd, bytes, std::min<size_t>(count, 100), offset);
    };
    io.fsync = [&](int fd) {
        calls << QStringLiteral("fsync");
        return ::fsync(fd);
    };
    KCFirmwareUpgrade &page = make();
    page.setFirmwareUpdateMode(FirmwareUpdateMode::ChosenFile);
    ASSERT_EQ(page.setCustomUpgradeBinPath(chosen(image)), std::nullopt);
    EXPECT_EQ(page.status().buttonTitle, "Upgrade");

    ASSERT_TRUE(page.updateFirmware());
    ASSERT_TRUE(driver.waitForCommands(1));
    EXPECT_EQ(driver.received()[0].name, "ForceDeviceStop");
    EXPECT_TRUE(driver.received()[0].info.isEmpty());
    EXPECT_EQ(fileBytes(volume.firmwareImagePath()), original);

    // A second press within the lock does nothing at all.
    EXPECT_FALSE(page.updateFirmware());

    ASSERT_TRUE(waitUntil([&] { return !written->isEmpty(); }));
    EXPECT_EQ(heardBeforeWrite, 1);
    EXPECT_TRUE(failures->isEmpty());
    EXPECT_EQ(fileBytes(volume.firmwareImagePath()), image);
    EXPECT_EQ(inodeOf(volume.firmwareImagePath()), inode);
    EXPECT_EQ(calls, QStringList((ImageSize + 99) / 100, QStringLiteral("write")) << QStringLiteral("fsync"));
    EXPECT_EQ(page.status().connectionText, "Waiting for keyboard...");

    // The lock ends with a check; the driver was told once and is not restarted (the keyboard
    // comes back by itself).
    ASSERT_TRUE(waitUntil([&] { return !page.isUpgradeInProgress(); }));
    EXPECT_EQ(page.status().connectionText, "Keyboard is connected");
    settle(100ms);
    EXPECT_EQ(names(driver.received()), QStringList({"ForceDeviceStop"}));
    EXPECT_TRUE(launcher.calls.isEmpty());
}

// What goes wrong: the first three are refused before the driver hears anything (which files the
// chooser refuses is the image loader's to prove, a keyboard not connected or not older the
// command line's); the others after the driver let go.
enum class Fault
{
    WrongSize,
    ChosenFileRefused,
    KeyboardImageIsALink,
    IoError,
    NoProgress,
    SyncFails,
    Replaced,
    Abandoned,
    PageClosed,
};

struct FaultRow
{
    const char *name;
    Fault fault;
    const char *says;                                        // the one line of upgradeFailed()
    QStringList commands = {"ForceDeviceStop", "Terminate"}; // what the stand-in driver heard
    QStringList launched = {"start program /bin/true"};
    // How the driver runs (a program, a user unit, or not at all): it is given the keyboard back
    // the same way.
    bool unit = false;
    bool running = true;
};

class FirmwareUpgradeFails : public FirmwareUpgrade, public testing::WithParamInterface<FaultRow>
{
};

TEST_P(FirmwareUpgradeFails, WithOneLineAndTheKeyboardBackWithTheDriver)
{
    const FaultRow &row = GetParam();
    const bool refused = row.fault <= Fault::KeyboardImageIsALink;
    QByteArray image = firmwareImage("V2.00", ImageSize);
    QString target = volume.firmwareImagePath();
    switch (row.fault) {
    case Fault::WrongSize:
        image.chop(1);
        break;
    case Fault::ChosenFileRefused:
        image.replace(0, 13, "firmware 2.00");
        break;
    case Fault::KeyboardImageIsALink:
        // Whatever the link points at must not be written through it.
        target = file(QStringLiteral("elsewhere.bin"));
        ASSERT_TRUE(QFile::rename(volume.firmwareImagePath(), target));
        ASSERT_TRUE(QFile::link(target, volume.firmwareImagePath()));
        break;
    case Fault::IoError:
        io.pwrite = [writes = 0](int fd, const char *bytes, size_t count, off_t offset) mutable -> ssize_t {
            if (writes++ == 0)
                return ::pwrite(fd, bytes, std::min<size_t>(count, 1000), offset);
            errno = EIO;
            return -1;
        };
        break;
    case Fault::NoProgress:
        io.pwrite = [](int, const char *, size_t, off_t) -> ssize_t { return 0; };
        break;
    case Fault::SyncFails:
        io.fsync = [](int) {
            errno = EIO;
            return -1;
        };
        break;
    default:
        break;
    }
    if (row.unit)
        launcher.units << QStringLiteral("brevona-driver.service");
    if (!row.running) {
        ASSERT_TRUE(driver.release());
    }
    QSignalSpy resumed(&control, &FirmwareDriverLink::resumed);
    QSignalSpy statuses(&make(), &KCFirmwareUpgrade::statusChanged);
    upgrade->setFirmwareUpdateMode(FirmwareUpdateMode::ChosenFile);
    EXPECT_EQ(upgrade->setCustomUpgradeBinPath(chosen(image)).has_value(),
              row.fault == Fault::ChosenFileRefused);
    ASSERT_EQ(upgrade->updateFirmware(), !refused);
    EXPECT_EQ(upgrade->isUpgradeInProgress(), !refused);
    if (!refused) {
        if (row.running) {
            ASSERT_TRUE(driver.waitForCommands(1));
        }
        if (row.fault == Fault::Replaced) {
            // Another keyboard, or the same one back: another file of the same size (the old one
            // kept, so that its inode number is not simply handed on).
            ASSERT_TRUE(QFile::rename(target, target + ".old"));
            ASSERT_TRUE(writeFileBytes(target, original));
        }
        if (row.fault == Fault::Abandoned) {
            EXPECT_TRUE(upgrade->abandon());
        }
        if (row.fault == Fault::PageClosed)
            upgrade.reset();
        // A program is told to end and started once it is gone (here: after the wait), a unit is
        // restarted, and nothing is started when no driver ran.
        ASSERT_TRUE(waitUntil([&] { return !resumed.isEmpty(); }));
        EXPECT_EQ(resumed.first().at(0).toBool(), !row.launched.isEmpty());
    }
    settle(refused ? 300ms : 100ms);
    EXPECT_EQ(launcher.calls, row.launched);
    EXPECT_EQ(names(driver.received()), row.commands);
    if (row.fault != Fault::IoError && row.fault != Fault::SyncFails) {
        EXPECT_EQ(fileBytes(target), original);
    }
    if (row.fault == Fault::PageClosed)
        return; // nobody to tell
    ASSERT_EQ(failures->size(), 1);
    const QString failure = failures->at(0).at(0).toString();
    EXPECT_TRUE(failure.contains(QLatin1String(row.says))) << failure.toStdString();
    EXPECT_FALSE(failure.contains('\n'));
    EXPECT_TRUE(written->isEmpty());
    for (const auto &emitted : statuses)
        EXPECT_NE(emitted.at(0).value<KCFirmwareStatus>().connectionText, "Waiting for keyboard...");
}

// clang-format off
const FaultRow kFaultRows[] = {
    {.name = "WrongSize", .fault = Fault::WrongSize, .says = "is 4095 bytes; the keyboard's firmware image is 4096 bytes", .commands = {}, .launched = {}},
    {.name = "ChosenFileRefused", .fault = Fault::ChosenFileRefused, .says = "No firmware file is chosen", .commands = {}, .launched = {}},
    {.name = "KeyboardImageIsALink", .fault = Fault::KeyboardImageIsALink, .says = "is not a regular file", .commands = {}, .launched = {}},
    {.name = "IoError", .fault = Fault::IoError, .says = "written only in part (1000 of 4096 bytes)"},
    {.name = "NoProgress", .fault = Fault::NoProgress, .says = "written only in part (0 of 4096 bytes)"},
    {.name = "SyncFails", .fault = Fault::SyncFails, .says = "could not be flushed"},
    {.name = "ImageFileReplaced", .fault = Fault::Replaced, .says = "no longer the file that was checked"},
    {.name = "Abandoned", .fault = Fault::Abandoned, .says = "abandoned; nothing was written"},
    {.name = "AbandonedUnitRestarted", .fault = Fault::Abandoned, .says = "abandoned; nothing was written", .commands = {"ForceDeviceStop"}, .launched = {"stop unit brevona-driver.service", "start unit brevona-driver.service"}, .unit = true},
    {.name = "AbandonedNoneRanNoneStarted", .fault = Fault::Abandoned, .says = "abandoned; nothing was written", .commands = {}, .launched = {}, .running = false},
    {.name = "PageClosedDuringThePause", .fault = Fault::PageClosed, .says = ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, FirmwareUpgradeFails, testing::ValuesIn(kFaultRows), RowName());

TEST_F(FirmwareUpgrade, ChecksFollowTheVolumeAndTheWindow)
{
    ASSERT_TRUE(writeFileBytes(shipped, firmwareImage("V1.50", ImageSize)));
    ASSERT_TRUE(volume.unplug());
    KCFirmwareUpgrade &page = make();
    QSignalSpy attention(&page, &KCFirmwareUpgrade::attentionRequested);
    QSignalSpy statuses(&page, &KCFirmwareUpgrade::statusChanged);
    EXPECT_FALSE(page.status().connected);

    // Plugged in while the page is visible: a check follows the mount, and a newer image asks for
    // the user's attention once.
    page.setWindowVisible(true);
    ASSERT_TRUE(volume.plugIn());
    ASSERT_TRUE(waitUntil([&] { return page.status().connected; }));
    EXPECT_EQ(page.status().currentText, "1.00");
    EXPECT_EQ(attention.size(), 1);

    // Every few seconds while the window is the active one, and not after.
    statuses.clear();
    page.startWindowChecks();
    ASSERT_TRUE(waitUntil([&] { return statuses.size() >= 3; }));
    EXPECT_EQ(attention.size(), 1);
    page.stopWindowChecks();
    settle(50ms);
    const qsizetype stopped = statuses.size();
    settle(400ms);
    EXPECT_EQ(statuses.size(), stopped);

    // Unplugged and back while the page is hidden: no attention.
    page.setWindowVisible(false);
    ASSERT_TRUE(volume.unplug());
    ASSERT_TRUE(waitUntil([&] { return !page.status().connected; }));
    ASSERT_TRUE(volume.plugIn());
    ASSERT_TRUE(waitUntil([&] { return page.status().connected; }));
    EXPECT_EQ(attention.size(), 1);
}

TEST_F(FirmwareUpgrade, TheChosenFileLivesUntilTheModeChanges)
{
    ASSERT_TRUE(writeFileBytes(file(QStringLiteral("old.bin")), firmwareImage("V0.90", ImageSize)));
    KCFirmwareUpgrade &page = make();
    QSignalSpy changes(&page, &KCFirmwareUpgrade::chosenFileChanged);
    page.setFirmwareUpdateMode(FirmwareUpdateMode::ChosenFile);
    EXPECT_EQ(page.setCustomUpgradeBinPath("~/old.bin"), std::nullopt);
    EXPECT_EQ(page.customUpgradeBinPath(), file(QStringLiteral("old.bin")));
    EXPECT_EQ(page.status().sourceLabel, "From file:");
    EXPECT_EQ(page.status().availableText, "0.90");
    EXPECT_EQ(page.status().buttonTitle, "Downgrade");
    EXPECT_TRUE(page.status().buttonEnabled);

    // A refused file clears the one chosen before.
    EXPECT_TRUE(page.setCustomUpgradeBinPath(file("nothing.bin")).has_value());
    EXPECT_EQ(page.customUpgradeBinPath(), std::nullopt);
    EXPECT_FALSE(page.status().buttonEnabled);
    EXPECT_EQ(page.setCustomUpgradeBinPath("~/old.bin"), std::nullopt);
    page.setFirmwareUpdateMode(FirmwareUpdateMode::ShippedImage);
    EXPECT_EQ(page.customUpgradeBinPath(), std::nullopt);
    EXPECT_EQ(page.status().sourceLabel, "Latest:");
    EXPECT_EQ(changes.size(), 4);
}

} // namespace
