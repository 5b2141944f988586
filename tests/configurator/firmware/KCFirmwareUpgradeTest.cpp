// The firmware page on a simulated keyboard: the status checks, the chosen file, and the upgrade
// sequence against a stand-in driver on the test's session bus, with a launcher fake in place of
// systemd.
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

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
const QString DriverProgram = QStringLiteral("/bin/true");

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
        inode = inodeOf(volume.firmwareImagePath());
    }

    void TearDown() override
    {
        upgrade.reset();
        driver.release();
    }

    KCFirmwareUpgrade &make()
    {
        upgrade = std::make_unique<KCFirmwareUpgrade>(monitor, control, shipped);
        upgrade->setTiming(timing);
        upgrade->setTargetIo(io);
        failures = std::make_unique<QSignalSpy>(upgrade.get(), &KCFirmwareUpgrade::upgradeFailed);
        written = std::make_unique<QSignalSpy>(upgrade.get(), &KCFirmwareUpgrade::imageWritten);
        return *upgrade;
    }

    QString file(const QString &name) const { return QDir(home.path()).filePath(name); }
    QString chosen(const QByteArray &bytes)
    {
        const QString path = file(QStringLiteral("chosen.bin"));
        EXPECT_TRUE(writeFileBytes(path, bytes));
        return path;
    }

    // The keyboard's image as it was, in the same file.
    void expectUntouched()
    {
        EXPECT_EQ(fileBytes(volume.firmwareImagePath()), original);
        EXPECT_EQ(inodeOf(volume.firmwareImagePath()), inode);
    }
    QString lastFailure() const
    {
        return failures->isEmpty() ? QString() : failures->last().at(0).toString();
    }

    TestHome home;
    SimulatedVolume volume{QDir(home.path()).filePath(QStringLiteral("keyboard"))};
    SimulatedVolumeMonitor monitor{volume.root()};
    FakeDriver driver{QStringLiteral("stand-in-driver")};
    DriverLink link;
    FakeDriverLauncher launcher;
    FirmwareDriverLink control{link, launcher, {.program = DriverProgram, .stopTimeoutMs = 300}};
    QString shipped = QDir(home.path()).filePath(QStringLiteral("shipped.bin"));
    KCFirmwareUpgrade::Timing timing{
        .volumeSettleMs = 100, .windowCheckMs = 100, .lockMs = 3000, .driverPauseMs = 2000};
    std::vector<std::string> calls; // the write's system calls, in order
    FirmwareTarget::Io io{[this](int fd, const char *bytes, size_t count, off_t offset) {
                              calls.push_back("write");
                              return FirmwareTarget::systemIo().pwrite(fd, bytes, count, offset);
                          },
                          [this](int fd) {
                              calls.push_back("fsync");
                              return ::fsync(fd);
                          }};
    std::unique_ptr<KCFirmwareUpgrade> upgrade;
    std::unique_ptr<QSignalSpy> failures;
    std::unique_ptr<QSignalSpy> written;
    QByteArray original;
    ino_t inode = 0;
};

TEST_F(FirmwareUpgrade, WritesTheImageInPlaceOnlyAfterTheDriverLetGo)
{
    const QByteArray image = firmwareImage("V1.10", ImageSize);
    // What the driver had heard when the first byte of the image was written; the device takes
    // 100 bytes a call, so the write is continued until the whole image is in.
    qsizetype heardBeforeWrite = -1;
    const auto write = io.pwrite;
    io.pwrite = [&](int fd, const char *bytes, size_t count, off_t offset) {
        if (heardBeforeWrite < 0)
            heardBeforeWrite = driver.received().size();
        return write(fd, bytes, std::min<size_t>(count, 100), offset);
    };
    KCFirmwareUpgrade &page = make();
    page.setFirmwareUpdateMode(FirmwareUpdateMode::ChosenFile);
    ASSERT_EQ(page.setCustomUpgradeBinPath(chosen(image)), std::nullopt);
    EXPECT_EQ(page.status().buttonTitle, "Upgrade");
    ASSERT_TRUE(page.status().buttonEnabled);

    ASSERT_TRUE(page.updateFirmware());
    EXPECT_TRUE(page.isUpgradeInProgress());
    EXPECT_TRUE(page.isWritePending());
    expectUntouched();
    ASSERT_TRUE(driver.waitForCommands(1));
    EXPECT_EQ(driver.received()[0].name, "ForceDeviceStop");
    EXPECT_TRUE(driver.received()[0].info.isEmpty());

    // A second press within the lock does nothing at all.
    EXPECT_FALSE(page.updateFirmware());

    ASSERT_TRUE(waitUntil([&] { return !written->isEmpty(); }));
    EXPECT_EQ(heardBeforeWrite, 1);
    EXPECT_TRUE(failures->isEmpty());
    EXPECT_EQ(fileBytes(volume.firmwareImagePath()), image);
    EXPECT_EQ(inodeOf(volume.firmwareImagePath()), inode);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "write"), (ImageSize + 99) / 100);
    EXPECT_EQ(calls.back(), "fsync");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "fsync"), 1);
    EXPECT_EQ(page.status().connectionText, "Waiting for keyboard...");

    // The lock ends with a check; the driver was told once and is not restarted (the keyboard
    // comes back by itself).
    ASSERT_TRUE(waitUntil([&] { return !page.isUpgradeInProgress(); }));
    EXPECT_EQ(page.status().connectionText, "Keyboard is connected");
    settle(100ms);
    EXPECT_EQ(names(driver.received()), QStringList({"ForceDeviceStop"}));
    EXPECT_TRUE(launcher.calls.isEmpty());
}

enum class Bad
{
    WrongSize,
    NoVersion,
    Fifo,
    Link,
    Missing,
    KeyboardImageIsALink,
    NotConnected,
    ShippedNotNewer,
};

struct BadRow
{
    const char *name;
    Bad bad;
    const char *chooserSays; // the refusal of the chosen file; null: the file is taken
    const char *upgradeSays;
};

class FirmwareUpgradeRefuses : public FirmwareUpgrade, public testing::WithParamInterface<BadRow>
{
};

TEST_P(FirmwareUpgradeRefuses, BeforeTheDriverHearsAnything)
{
    const BadRow &row = GetParam();
    const QByteArray good = firmwareImage("V1.10", ImageSize);
    QString path = file(QStringLiteral("bad.bin"));
    const QByteArray encoded = QFile::encodeName(path);
    bool chooses = true;
    switch (row.bad) {
    case Bad::WrongSize:
        ASSERT_TRUE(writeFileBytes(path, firmwareImage("V1.10", ImageSize - 1)));
        break;
    case Bad::NoVersion:
        ASSERT_TRUE(writeFileBytes(path, firmwareImage("firmware 1.10", ImageSize)));
        break;
    case Bad::Fifo:
        ASSERT_EQ(::mkfifo(encoded.constData(), 0600), 0);
        break;
    case Bad::Link:
        ASSERT_TRUE(QFile::link(chosen(good), path));
        break;
    case Bad::Missing:
        break;
    case Bad::KeyboardImageIsALink: {
        // Whatever the link points at must not be written through it.
        const QString elsewhere = file(QStringLiteral("elsewhere.bin"));
        ASSERT_TRUE(writeFileBytes(elsewhere, original));
        ASSERT_TRUE(QFile::remove(volume.firmwareImagePath()));
        ASSERT_TRUE(QFile::link(elsewhere, volume.firmwareImagePath()));
        original = fileBytes(elsewhere);
        inode = inodeOf(volume.firmwareImagePath());
        path = chosen(good);
        break;
    }
    case Bad::NotConnected:
        ASSERT_TRUE(QFile::remove(volume.firmwareVersionPath()));
        path = chosen(good);
        break;
    case Bad::ShippedNotNewer:
        ASSERT_TRUE(writeFileBytes(shipped, firmwareImage("V1.00", ImageSize)));
        chooses = false;
        break;
    }
    KCFirmwareUpgrade &page = make();
    if (chooses) {
        page.setFirmwareUpdateMode(FirmwareUpdateMode::ChosenFile);
        const auto refusal = page.setCustomUpgradeBinPath(path);
        if (row.chooserSays) {
            ASSERT_TRUE(refusal.has_value());
            EXPECT_TRUE(refusal->contains(QLatin1String(row.chooserSays))) << refusal->toStdString();
            EXPECT_EQ(page.customUpgradeBinPath(), std::nullopt);
        } else {
            EXPECT_EQ(refusal, std::nullopt);
        }
    }

    EXPECT_FALSE(page.updateFirmware());
    ASSERT_EQ(failures->size(), 1);
    EXPECT_TRUE(lastFailure().contains(QLatin1String(row.upgradeSays))) << lastFailure().toStdString();
    EXPECT_FALSE(lastFailure().contains('\n'));
    EXPECT_FALSE(page.isUpgradeInProgress());
    settle(300ms);
    EXPECT_TRUE(driver.received().isEmpty()) << names(driver.received()).join(' ').toStdString();
    EXPECT_TRUE(launcher.calls.isEmpty());
    EXPECT_TRUE(written->isEmpty());
    if (row.bad == Bad::KeyboardImageIsALink) {
        EXPECT_EQ(fileBytes(file(QStringLiteral("elsewhere.bin"))), original);
    } else
        expectUntouched();
}

// clang-format off
const BadRow kBadRows[] = {
    {.name = "WrongSize", .bad = Bad::WrongSize, .chooserSays = nullptr, .upgradeSays = "is 4095 bytes; the keyboard's firmware image is 4096 bytes"},
    {.name = "NoVersion", .bad = Bad::NoVersion, .chooserSays = "carries no version", .upgradeSays = "No firmware file is chosen"},
    {.name = "Fifo", .bad = Bad::Fifo, .chooserSays = "is a FIFO", .upgradeSays = "No firmware file is chosen"},
    {.name = "Link", .bad = Bad::Link, .chooserSays = "is a symbolic link", .upgradeSays = "No firmware file is chosen"},
    {.name = "Missing", .bad = Bad::Missing, .chooserSays = "cannot be found", .upgradeSays = "No firmware file is chosen"},
    {.name = "KeyboardImageIsALink", .bad = Bad::KeyboardImageIsALink, .chooserSays = nullptr, .upgradeSays = "is not a regular file"},
    {.name = "NotConnected", .bad = Bad::NotConnected, .chooserSays = nullptr, .upgradeSays = "The keyboard is not connected"},
    {.name = "ShippedNotNewer", .bad = Bad::ShippedNotNewer, .chooserSays = nullptr, .upgradeSays = "is not older than 1.00"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, FirmwareUpgradeRefuses, testing::ValuesIn(kBadRows), RowName());

enum class Fault
{
    IoError,
    NoProgress,
    SyncFails,
    Unplugged,
    Replaced,
    Abandoned,
    PageClosed,
};

// How the driver runs: it is given the keyboard back the same way.
enum class Running
{
    Program,
    Unit,
    Nothing,
};

struct FaultRow
{
    const char *name;
    Fault fault;
    const char *says;
    Running running = Running::Program;
    QStringList launched = {"start program /bin/true"};
    QStringList commands = {"ForceDeviceStop", "Terminate"}; // what the stand-in driver heard
};

class FirmwareUpgradeFaults : public FirmwareUpgrade, public testing::WithParamInterface<FaultRow>
{
};

TEST_P(FirmwareUpgradeFaults, AreReportedAndGiveTheKeyboardBackToTheDriver)
{
    const FaultRow &row = GetParam();
    int writes = 0;
    const auto write = FirmwareTarget::systemIo().pwrite;
    switch (row.fault) {
    case Fault::IoError:
        io.pwrite = [&](int fd, const char *bytes, size_t count, off_t offset) -> ssize_t {
            if (writes++ == 0)
                return write(fd, bytes, std::min<size_t>(count, 1000), offset);
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
    if (row.running == Running::Unit)
        launcher.units << QStringLiteral("brevona-driver.service");
    if (row.running == Running::Nothing) {
        ASSERT_TRUE(driver.release());
    }
    ASSERT_TRUE(writeFileBytes(shipped, firmwareImage("V2.00", ImageSize)));
    QSignalSpy resumed(&control, &FirmwareDriverLink::resumed);
    QSignalSpy statuses(&make(), &KCFirmwareUpgrade::statusChanged);
    ASSERT_TRUE(upgrade->status().buttonEnabled);
    ASSERT_TRUE(upgrade->updateFirmware());
    if (row.running != Running::Nothing) {
        ASSERT_TRUE(driver.waitForCommands(1));
    }
    switch (row.fault) {
    case Fault::Unplugged:
        ASSERT_TRUE(volume.unplug());
        break;
    case Fault::Replaced:
        // Another keyboard, or the same one back: another file of the same size (the old one kept,
        // so that its inode number is not simply handed on).
        ASSERT_TRUE(QFile::rename(volume.firmwareImagePath(), volume.firmwareImagePath() + ".old"));
        ASSERT_TRUE(writeFileBytes(volume.firmwareImagePath(), original));
        break;
    case Fault::Abandoned:
        EXPECT_TRUE(upgrade->abandon());
        break;
    case Fault::PageClosed:
        upgrade.reset();
        break;
    default:
        break;
    }

    // A program is told to end and started once it is gone (here: after the wait), a unit is
    // restarted, and nothing is started when no driver ran.
    ASSERT_TRUE(waitUntil([&] { return !resumed.isEmpty(); }));
    EXPECT_EQ(resumed.first().at(0).toBool(), !row.launched.isEmpty());
    EXPECT_EQ(launcher.calls, row.launched);
    settle(100ms);
    EXPECT_EQ(names(driver.received()), row.commands);
    if (row.fault != Fault::PageClosed) {
        ASSERT_EQ(failures->size(), 1);
        EXPECT_TRUE(lastFailure().contains(QLatin1String(row.says))) << lastFailure().toStdString();
        EXPECT_FALSE(lastFailure().contains('\n'));
        EXPECT_TRUE(written->isEmpty());
        for (const auto &emitted : statuses)
            EXPECT_NE(emitted.at(0).value<KCFirmwareStatus>().connectionText, "Waiting for keyboard...");
    }
    if (row.fault == Fault::Unplugged) {
        ASSERT_TRUE(volume.plugIn());
    }
    if (row.fault == Fault::Replaced) {
        EXPECT_EQ(fileBytes(volume.firmwareImagePath()), original);
    } else if (row.fault != Fault::IoError && row.fault != Fault::SyncFails) {
        expectUntouched();
    }
}

// clang-format off
const FaultRow kFaultRows[] = {
    {.name = "IoError", .fault = Fault::IoError, .says = "written only in part (1000 of 4096 bytes)"},
    {.name = "NoProgress", .fault = Fault::NoProgress, .says = "written only in part (0 of 4096 bytes)"},
    {.name = "SyncFails", .fault = Fault::SyncFails, .says = "could not be flushed"},
    {.name = "VolumeGone", .fault = Fault::Unplugged, .says = "the keyboard's volume is gone"},
    {.name = "ImageFileReplaced", .fault = Fault::Replaced, .says = "no longer the file that was checked"},
    {.name = "Abandoned", .fault = Fault::Abandoned, .says = "abandoned; nothing was written"},
    {.name = "AbandonedUnitRestarted", .fault = Fault::Abandoned, .says = "abandoned; nothing was written", .running = Running::Unit, .launched = {"stop unit brevona-driver.service", "start unit brevona-driver.service"}, .commands = {"ForceDeviceStop"}},
    {.name = "AbandonedNoneRanNoneStarted", .fault = Fault::Abandoned, .says = "abandoned; nothing was written", .running = Running::Nothing, .launched = {}, .commands = {}},
    {.name = "PageClosedDuringThePause", .fault = Fault::PageClosed, .says = "-"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, FirmwareUpgradeFaults, testing::ValuesIn(kFaultRows), RowName());

TEST_F(FirmwareUpgrade, ChecksFollowTheVolumeAndTheWindow)
{
    ASSERT_TRUE(writeFileBytes(shipped, firmwareImage("V1.50", ImageSize)));
    ASSERT_TRUE(volume.unplug());
    KCFirmwareUpgrade &page = make();
    QSignalSpy attention(&page, &KCFirmwareUpgrade::attentionRequested);
    QSignalSpy statuses(&page, &KCFirmwareUpgrade::statusChanged);
    EXPECT_FALSE(page.status().connected);
    EXPECT_EQ(page.status().currentText, "-.--");
    EXPECT_EQ(page.virtualDiskPathForFile("upgrade.bin"), std::nullopt);

    // Plugged in while the page is visible: a check follows the mount, and a newer image asks for
    // the user's attention once.
    page.setWindowVisible(true);
    ASSERT_TRUE(volume.plugIn());
    ASSERT_TRUE(waitUntil([&] { return page.status().connected; }));
    EXPECT_EQ(page.status().currentText, "1.00");
    EXPECT_EQ(page.virtualDiskPathForFile("upgrade.bin"), volume.firmwareImagePath());
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
    const QByteArray image = firmwareImage("V0.90", ImageSize);
    ASSERT_TRUE(writeFileBytes(QDir(home.path()).filePath("old.bin"), image));
    KCFirmwareUpgrade &page = make();
    QSignalSpy changes(&page, &KCFirmwareUpgrade::chosenFileChanged);
    page.setFirmwareUpdateMode(FirmwareUpdateMode::ChosenFile);
    EXPECT_EQ(page.setCustomUpgradeBinPath("~/old.bin"), std::nullopt);
    EXPECT_EQ(page.customUpgradeBinPath(), QDir(home.path()).filePath("old.bin"));
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
