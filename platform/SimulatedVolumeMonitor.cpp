#include "SimulatedVolumeMonitor.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include "VolumeLayout.h"

namespace brevona {

namespace {

constexpr int kCheckIntervalMs = 500;

} // namespace

BlockDeviceIdentity SimulatedVolumeMonitor::keyboardIdentity()
{
    return {true, QStringLiteral("NXP Semi"), QStringLiteral("LPC288x Disk")};
}

SimulatedVolumeMonitor::SimulatedVolumeMonitor(const QString &folder, QObject *parent)
    : VolumeMonitor(parent)
    , m_mountPoint(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()))
    , m_sourceDevice(QStringLiteral("simulated:") + m_mountPoint)
{
    m_state = readState();
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &SimulatedVolumeMonitor::check);
    m_timer = new QTimer(this);
    m_timer->setInterval(kCheckIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &SimulatedVolumeMonitor::check);
    m_timer->start();
    if (QFileInfo(m_mountPoint).isDir())
        m_watcher->addPath(m_mountPoint);
}

SimulatedVolumeMonitor::~SimulatedVolumeMonitor() = default;

SimulatedVolumeMonitor::State SimulatedVolumeMonitor::readState() const
{
    struct statx status = {};
    const QByteArray path = QFile::encodeName(m_mountPoint + QLatin1Char('/') + volumelayout::VolumeFolder);
    if (::statx(AT_FDCWD, path.constData(), 0, STATX_TYPE | STATX_INO | STATX_BTIME, &status) != 0 ||
        !S_ISDIR(status.stx_mode))
        return {};
    // An inode number can be reused at once; with the birth time it names one folder.
    const quint64 born = (status.stx_mask & STATX_BTIME)
                             ? quint64(status.stx_btime.tv_sec) * 1000000000u + status.stx_btime.tv_nsec
                             : 0;
    return {true, quint64(status.stx_ino), born};
}

void SimulatedVolumeMonitor::check()
{
    if (m_watcher->directories().isEmpty() && QFileInfo(m_mountPoint).isDir())
        m_watcher->addPath(m_mountPoint);

    const State current = readState();
    const State previous = std::exchange(m_state, current);
    // A "vLumivox" removed and made again between two checks is another volume: unmount, then mount.
    const bool replaced = previous.present && current.present && !previous.sameFolder(current);
    if (previous.present && (!current.present || replaced))
        Q_EMIT volumeUnmounted(m_mountPoint);
    if (current.present && (!previous.present || replaced))
        Q_EMIT volumeMounted(m_mountPoint);
}

std::vector<MountedVolume> SimulatedVolumeMonitor::mountedVolumes() const
{
    if (!readState().present)
        return {};
    return {MountedVolume{m_mountPoint, m_sourceDevice}};
}

std::optional<BlockDeviceIdentity> SimulatedVolumeMonitor::identify(const MountedVolume &volume) const
{
    if (volume.sourceDevice == m_sourceDevice)
        return keyboardIdentity();
    return BlockDeviceIdentity{};
}

} // namespace brevona
