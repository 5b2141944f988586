#pragma once

#include <QHash>

#include "VolumeMonitor.h"

namespace brevona {

// Volumes a test mounts and unmounts by hand. A source device without an identity is unknown to
// the system (identify gives nothing) until the test sets one.
class FakeVolumeMonitor : public VolumeMonitor
{
    Q_OBJECT
public:
    using VolumeMonitor::VolumeMonitor;

    std::vector<MountedVolume> mountedVolumes() const override { return m_volumes; }
    std::optional<BlockDeviceIdentity> identify(const MountedVolume &volume) const override;
    bool isSessionActive() const override { return m_sessionActive; }

    void setIdentity(const QString &sourceDevice, const std::optional<BlockDeviceIdentity> &identity);
    // Adds the volume (and its identity, when given) and announces the mount.
    void mount(const MountedVolume &volume,
               const std::optional<BlockDeviceIdentity> &identity = std::nullopt);
    // Removes the volume mounted at the path and announces the unmount.
    void unmount(const QString &mountPoint);
    void setSessionActive(bool active);

    int identifyCount() const { return m_identifyCount; }

private:
    std::vector<MountedVolume> m_volumes;
    QHash<QString, BlockDeviceIdentity> m_identities;
    bool m_sessionActive = true;
    mutable int m_identifyCount = 0;
};

} // namespace brevona
