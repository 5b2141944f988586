#include "FakeVolumeMonitor.h"

#include <algorithm>

namespace brevona {

std::optional<BlockDeviceIdentity> FakeVolumeMonitor::identify(const MountedVolume &volume) const
{
    ++m_identifyCount;
    const auto it = m_identities.constFind(volume.sourceDevice);
    if (it == m_identities.constEnd())
        return std::nullopt;
    return *it;
}

void FakeVolumeMonitor::setIdentity(const QString &sourceDevice,
                                    const std::optional<BlockDeviceIdentity> &identity)
{
    if (identity)
        m_identities.insert(sourceDevice, *identity);
    else
        m_identities.remove(sourceDevice);
}

void FakeVolumeMonitor::mount(const MountedVolume &volume, const std::optional<BlockDeviceIdentity> &identity)
{
    if (identity)
        setIdentity(volume.sourceDevice, identity);
    m_volumes.push_back(volume);
    Q_EMIT volumeMounted(volume.mountPoint);
}

void FakeVolumeMonitor::unmount(const QString &mountPoint)
{
    const auto removed =
        std::erase_if(m_volumes, [&](const MountedVolume &v) { return v.mountPoint == mountPoint; });
    if (removed > 0)
        Q_EMIT volumeUnmounted(mountPoint);
}

void FakeVolumeMonitor::setSessionActive(bool active)
{
    if (active == m_sessionActive)
        return;
    m_sessionActive = active;
    Q_EMIT sessionActiveChanged(active);
}

} // namespace brevona
