#pragma once

#include "VolumeMonitor.h"
#include "linux/MountInfo.h"

class QSocketNotifier;
struct udev;

namespace brevona {

class LogindSession;

// The system's volumes: the mount table of /proc/self/mountinfo, whose change the kernel signals as
// an exceptional condition (POLLPRI) on the open table, so mounts and unmounts are seen at once
// without polling; block devices are described by udev from sysfs; desktop switches come from
// logind.
class LinuxVolumeMonitor : public VolumeMonitor
{
    Q_OBJECT
public:
    explicit LinuxVolumeMonitor(QObject *parent = nullptr,
                                const QString &mountInfoPath = QStringLiteral("/proc/self/mountinfo"));
    ~LinuxVolumeMonitor() override;

    std::vector<MountedVolume> mountedVolumes() const override;
    std::optional<BlockDeviceIdentity> identify(const MountedVolume &volume) const override;
    bool isSessionActive() const override;

    // The volumes of a mount table that can be a keyboard: those mounted from a device node.
    static std::vector<MountedVolume> volumesOf(const std::vector<MountInfo::Entry> &entries);

private:
    std::vector<MountedVolume> readVolumes() const;
    void onMountTableChanged();

    QString m_mountInfoPath;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    std::vector<MountedVolume> m_known;
    struct udev *m_udev = nullptr;
    LogindSession *m_session = nullptr;
};

} // namespace brevona
