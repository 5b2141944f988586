#include "linux/LinuxVolumeMonitor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <libudev.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSocketNotifier>

#include "linux/LogindSession.h"

namespace brevona {

namespace {

QString attribute(struct udev_device *device, const char *name)
{
    const char *value = device ? udev_device_get_sysattr_value(device, name) : nullptr;
    return value ? QString::fromUtf8(value).trimmed() : QString();
}

bool contains(const std::vector<MountedVolume> &volumes, const MountedVolume &volume)
{
    return std::find(volumes.begin(), volumes.end(), volume) != volumes.end();
}

} // namespace

LinuxVolumeMonitor::LinuxVolumeMonitor(QObject *parent, const QString &mountInfoPath)
    : VolumeMonitor(parent)
    , m_mountInfoPath(mountInfoPath)
{
    m_udev = udev_new();
    if (!m_udev)
        qCWarning(lcVolumes) << "udev is not available: no volume can be identified as the keyboard";

    m_fd = ::open(QFile::encodeName(m_mountInfoPath).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        qCWarning(lcVolumes, "Cannot open %s: %s; mounts are not followed", qPrintable(m_mountInfoPath),
                  std::strerror(errno));
    } else {
        m_known = readVolumes();
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Exception, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &LinuxVolumeMonitor::onMountTableChanged);
    }
    m_session = new LogindSession(this);
    connect(m_session, &LogindSession::activeChanged, this, &VolumeMonitor::sessionActiveChanged);
}

LinuxVolumeMonitor::~LinuxVolumeMonitor()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_udev)
        udev_unref(m_udev);
}

std::vector<MountedVolume> LinuxVolumeMonitor::volumesOf(const std::vector<MountInfo::Entry> &entries)
{
    std::vector<MountedVolume> volumes;
    for (const MountInfo::Entry &entry : entries) {
        if (entry.source.startsWith(QLatin1String("/dev/")))
            volumes.push_back({entry.mountPoint, entry.source});
    }
    return volumes;
}

std::vector<MountedVolume> LinuxVolumeMonitor::readVolumes() const
{
    if (m_fd < 0)
        return {};
    const auto content = MountInfo::readAll(m_fd);
    if (!content) {
        qCWarning(lcVolumes, "Cannot read %s: %s", qPrintable(m_mountInfoPath), std::strerror(errno));
        return m_known;
    }
    return volumesOf(MountInfo::parse(*content));
}

std::vector<MountedVolume> LinuxVolumeMonitor::mountedVolumes() const
{
    return readVolumes();
}

void LinuxVolumeMonitor::onMountTableChanged()
{
    const std::vector<MountedVolume> current = readVolumes();
    const std::vector<MountedVolume> previous = std::exchange(m_known, current);
    for (const MountedVolume &volume : previous) {
        if (!contains(current, volume))
            Q_EMIT volumeUnmounted(volume.mountPoint);
    }
    for (const MountedVolume &volume : current) {
        if (!contains(previous, volume))
            Q_EMIT volumeMounted(volume.mountPoint);
    }
}

std::optional<BlockDeviceIdentity> LinuxVolumeMonitor::identify(const MountedVolume &volume) const
{
    struct stat status = {};
    if (::stat(QFile::encodeName(volume.sourceDevice).constData(), &status) != 0)
        return std::nullopt; // the device node may not be there yet
    if (!S_ISBLK(status.st_mode))
        return BlockDeviceIdentity{};
    if (!m_udev)
        return BlockDeviceIdentity{};

    struct udev_device *device = udev_device_new_from_devnum(m_udev, 'b', status.st_rdev);
    if (!device)
        return std::nullopt;
    struct udev_device *disk = device;
    if (const char *type = udev_device_get_devtype(device); type && std::strcmp(type, "partition") == 0)
        disk = udev_device_get_parent_with_subsystem_devtype(device, "block", "disk");

    BlockDeviceIdentity identity;
    struct udev_device *usb =
        disk ? udev_device_get_parent_with_subsystem_devtype(disk, "usb", "usb_device") : nullptr;
    // Every disk on the USB bus can be ejected, whatever its removable-medium bit says.
    identity.removable = attribute(disk, "removable") == QLatin1String("1") || usb != nullptr;
    // The strings the storage controller answers to an inquiry, as the keyboard's firmware sets them;
    // the USB descriptor strings only stand in when the disk has no SCSI parent.
    struct udev_device *scsi =
        disk ? udev_device_get_parent_with_subsystem_devtype(disk, "scsi", "scsi_device") : nullptr;
    if (scsi) {
        identity.vendor = attribute(scsi, "vendor");
        identity.product = attribute(scsi, "model");
    } else if (usb) {
        identity.vendor = attribute(usb, "manufacturer");
        identity.product = attribute(usb, "product");
    }
    udev_device_unref(device);
    return identity;
}

bool LinuxVolumeMonitor::isSessionActive() const
{
    return m_session->isActive();
}

} // namespace brevona
