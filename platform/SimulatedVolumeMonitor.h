#pragma once

#include "VolumeMonitor.h"

class QFileSystemWatcher;
class QTimer;

namespace brevona {

// A folder standing for the keyboard's volume: its "vLumivox" appearing is the mount of a keyboard
// volume at the folder, its disappearing the unmount. The folder is watched for changes and, since
// a watch is lost when the folder itself is removed and made again, also checked twice a second.
// No other volume exists and the desktop is always active.
class SimulatedVolumeMonitor : public VolumeMonitor
{
    Q_OBJECT
public:
    // The identity the simulated volume reports: one of the keyboard's own.
    static BlockDeviceIdentity keyboardIdentity();

    explicit SimulatedVolumeMonitor(const QString &folder, QObject *parent = nullptr);
    ~SimulatedVolumeMonitor() override;

    QString mountPoint() const { return m_mountPoint; }

    std::vector<MountedVolume> mountedVolumes() const override;
    std::optional<BlockDeviceIdentity> identify(const MountedVolume &volume) const override;
    bool isSessionActive() const override { return true; }

private:
    struct State
    {
        bool present = false;
        quint64 inode = 0;
        quint64 birth = 0;

        bool sameFolder(const State &other) const { return inode == other.inode && birth == other.birth; }
    };
    State readState() const;
    void check();

    QString m_mountPoint;
    QString m_sourceDevice;
    State m_state;
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_timer = nullptr;
};

} // namespace brevona
