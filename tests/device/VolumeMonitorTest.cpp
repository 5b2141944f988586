#include <cerrno>
#include <cstring>

#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "SimulatedVolumeMonitor.h"
#include "TestPrinters.h"
#include "Wait.h"
#include "linux/LinuxVolumeMonitor.h"
#include "linux/MountInfo.h"

using namespace brevona;
using namespace brevona::test;
using brevona::test::RowName;
using namespace std::chrono_literals;

namespace {

// --- the mount table, from lines recorded on real systems

struct MountLineRow
{
    const char *name;
    const char *in;
    const char *out; // "mount point|source|type|major:minor"; empty: refused
};

class MountInfoLineTest : public ::testing::TestWithParam<MountLineRow>
{
};

TEST_P(MountInfoLineTest, Fields)
{
    QStringList parsed;
    for (const MountInfo::Entry &entry : MountInfo::parse(QByteArray(GetParam().in) + '\n'))
        parsed << QStringLiteral("%1|%2|%3|%4:%5")
                      .arg(entry.mountPoint, entry.source, entry.fsType)
                      .arg(entry.major)
                      .arg(entry.minor);
    EXPECT_EQ(parsed.join(QLatin1Char('\n')), QString::fromUtf8(GetParam().out));
}

// Lines as real systems write them, and the ways a line can be broken.
// clang-format off
const MountLineRow kMountLineRows[] = {
    {.name = "kernelDoc", .in = "36 35 98:0 /mnt1 /mnt/parent rw master:1 - ext3 /dev/root rw", .out = "/mnt/parent|/dev/root|ext3|98:0"},
    {.name = "noOptionalFields", .in = "45 28 0:40 / /run/user/1000 rw - tmpfs tmpfs rw,mode=700", .out = "/run/user/1000|tmpfs|tmpfs|0:40"},
    {.name = "tabSlashNewline", .in = "90 28 8:1 / /mnt/a\\011b\\134c\\012d rw - vfat /dev/sda1 rw", .out = "/mnt/a\tb\\c\nd|/dev/sda1|vfat|8:1"},
    {.name = "utf8Name", .in = "91 28 8:2 / /media/zoë/Clé rw - vfat /dev/sda2 rw", .out = "/media/zoë/Clé|/dev/sda2|vfat|8:2"},
    {.name = "truncatedEscape", .in = "92 28 8:3 / /mnt/x\\04 rw - vfat /dev/sda3 rw", .out = "/mnt/x\\04|/dev/sda3|vfat|8:3"},
    {.name = "noSeparator", .in = "12 1 8:1 / /x rw shared:1 ext4 /dev/sda1 rw", .out = ""},
    {.name = "separatorAtEnd", .in = "12 1 8:1 / /x rw -", .out = ""},
    {.name = "badDeviceNumber", .in = "12 1 8 / /x rw - ext4 /dev/sda1 rw", .out = ""},
    {.name = "badId", .in = "x 1 8:1 / /x rw - ext4 /dev/sda1 rw", .out = ""},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, MountInfoLineTest, ::testing::ValuesIn(kMountLineRows), RowName());

const char kRecordedTable[] =
    "22 28 0:21 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "28 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n"
    "30 28 259:1 / /boot/efi rw,relatime shared:13 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "1030 28 8:17 / /media/alice/NO\\040NAME rw,nosuid,nodev,relatime shared:564 - vfat /dev/sdb1 rw,flush\n"
    "not a mount line\n"
    "1100 28 0:66 / /media/alice/phone rw,nosuid,nodev,relatime shared:600 - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "1101 28 8:17 / /srv/bound rw,relatime shared:564 - vfat /dev/sdb1 rw";

TEST(MountInfoTable, KeepsOrderAndOnlyDeviceVolumesCount)
{
    const auto entries = MountInfo::parse(kRecordedTable);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[3].mountId, 1030);
    EXPECT_EQ(entries[3].parentId, 28);
    const std::vector<MountedVolume> expected{{"/", "/dev/nvme0n1p2"},
                                              {"/boot/efi", "/dev/nvme0n1p1"},
                                              {"/media/alice/NO NAME", "/dev/sdb1"},
                                              {"/srv/bound", "/dev/sdb1"}};
    EXPECT_EQ(LinuxVolumeMonitor::volumesOf(entries), expected);
}

TEST(LinuxVolumeMonitor, ReadsTheTableAndDescribesDevices)
{
    QTemporaryDir dir;
    const QString table = dir.filePath(QStringLiteral("mountinfo"));
    ASSERT_TRUE(writeFile(table, kRecordedTable));
    LinuxVolumeMonitor monitor(nullptr, table);
    EXPECT_EQ(monitor.mountedVolumes().size(), 4u);
    // A device node that is not there yet may be there at the next probe; one that is no block
    // device never is the keyboard.
    EXPECT_FALSE(monitor.identify({QStringLiteral("/mnt"), QStringLiteral("/dev/brevona-missing")}));
    const auto notBlock = monitor.identify({QStringLiteral("/mnt"), QStringLiteral("/dev/null")});
    ASSERT_TRUE(notBlock);
    EXPECT_FALSE(notBlock->removable);
    // Where the system offers no session manager the desktop counts as switched in.
    EXPECT_TRUE(monitor.isSessionActive());
}

TEST(LinuxVolumeMonitor, MountsAndUnmountsAreSeenAsTheyHappen)
{
    QTemporaryDir dir;
    const QString mountPoint = QDir(dir.path()).canonicalPath();
    LinuxVolumeMonitor monitor;
    QSignalSpy mounted(&monitor, &VolumeMonitor::volumeMounted);
    QSignalSpy unmounted(&monitor, &VolumeMonitor::volumeUnmounted);
    // A memory file system that names a device node as its source, as a mounted disk does.
    const QByteArray source = "/dev/brevona-test-" + QByteArray::number(::getpid());
    if (::mount(source.constData(), QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting is not permitted here: " << std::strerror(errno);
    const bool seen = waitUntil([&] { return mounted.count() == 1; });
    ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH);
    ASSERT_TRUE(seen);
    EXPECT_EQ(mounted.at(0).at(0).toString(), mountPoint);
    ASSERT_TRUE(waitUntil([&] { return unmounted.count() == 1; }));
    EXPECT_EQ(unmounted.at(0).at(0).toString(), mountPoint);
}

// --- the simulated keyboard

class SimulatedVolumeMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString folder() const { return m_dir.filePath(QStringLiteral("keyboard")); }

private:
    QTemporaryDir m_dir;
};

TEST_F(SimulatedVolumeMonitorTest, TheFolderAppearingAndGoingIsMountAndUnmount)
{
    // The folder does not exist yet when the monitor starts.
    SimulatedVolumeMonitor monitor(folder());
    QSignalSpy mounted(&monitor, &VolumeMonitor::volumeMounted);
    QSignalSpy unmounted(&monitor, &VolumeMonitor::volumeUnmounted);
    EXPECT_TRUE(monitor.mountedVolumes().empty());

    ASSERT_TRUE(QDir().mkpath(folder() + QStringLiteral("/vLumivox/dynamic")));
    ASSERT_TRUE(waitUntil([&] { return mounted.count() == 1; }));
    EXPECT_EQ(mounted.at(0).at(0).toString(), monitor.mountPoint());
    const auto volumes = monitor.mountedVolumes();
    ASSERT_EQ(volumes.size(), 1u);
    const auto identity = monitor.identify(volumes[0]);
    ASSERT_TRUE(identity);
    EXPECT_TRUE(identity->removable);
    EXPECT_EQ(identity->vendor, QStringLiteral("NXP Semi"));
    EXPECT_FALSE(monitor.identify({QStringLiteral("/"), QStringLiteral("/dev/sda1")})->removable);

    ASSERT_TRUE(QDir(folder() + QStringLiteral("/vLumivox")).removeRecursively());
    ASSERT_TRUE(waitUntil([&] { return unmounted.count() == 1; }));
    EXPECT_TRUE(monitor.mountedVolumes().empty());

    // The whole folder removed and made again, with the volume inside.
    ASSERT_TRUE(QDir(folder()).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(folder() + QStringLiteral("/vLumivox")));
    ASSERT_TRUE(waitUntil([&] { return mounted.count() == 2; }));
    EXPECT_EQ(unmounted.count(), 1);
}

TEST_F(SimulatedVolumeMonitorTest, AVolumeReplacedBetweenTwoLooksIsUnmountedAndMounted)
{
    ASSERT_TRUE(QDir().mkpath(folder() + QStringLiteral("/vLumivox")));
    SimulatedVolumeMonitor monitor(folder());
    QSignalSpy mounted(&monitor, &VolumeMonitor::volumeMounted);
    QSignalSpy unmounted(&monitor, &VolumeMonitor::volumeUnmounted);
    EXPECT_EQ(monitor.mountedVolumes().size(), 1u);
    // No event is handled between the removal and the new folder.
    ASSERT_TRUE(QDir(folder() + QStringLiteral("/vLumivox")).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(folder() + QStringLiteral("/other")));
    ASSERT_TRUE(QDir().mkpath(folder() + QStringLiteral("/vLumivox")));
    ASSERT_TRUE(waitUntil([&] { return mounted.count() == 1; }));
    EXPECT_EQ(unmounted.count(), 1);
}

} // namespace
