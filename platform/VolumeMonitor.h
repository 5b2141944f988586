#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QLoggingCategory>
#include <QObject>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcVolumes)

namespace brevona {

// One mounted file system: where it is mounted and the device it is mounted from.
struct MountedVolume
{
    QString mountPoint;
    QString sourceDevice;

    bool operator==(const MountedVolume &) const = default;
};

// What the system knows of the block device behind a volume: whether the medium is removable and
// the vendor and product strings its storage controller reports (both trimmed).
struct BlockDeviceIdentity
{
    bool removable = false;
    QString vendor;
    QString product;
};

// The desktop's volumes and sessions as the device sees them: the mounted file systems with their
// source devices, what a source device is, and the events of mounting, unmounting and switching the
// user's desktop in and out. Events are delivered on the thread the monitor lives in.
class VolumeMonitor : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~VolumeMonitor() override;

    // In the order the system lists them.
    virtual std::vector<MountedVolume> mountedVolumes() const = 0;
    // Nothing when the device is not known to the system (yet): a later probe may succeed.
    virtual std::optional<BlockDeviceIdentity> identify(const MountedVolume &volume) const = 0;
    // False while the user's desktop is switched out; true where the system cannot tell.
    virtual bool isSessionActive() const = 0;

    // The simulated keyboard folder when BREVONA_SIMULATED_KEYBOARD names one, the system's volumes
    // otherwise.
    static std::unique_ptr<VolumeMonitor> create(QObject *parent = nullptr);

Q_SIGNALS:
    void volumeMounted(const QString &mountPoint);
    void volumeUnmounted(const QString &mountPoint);
    void sessionActiveChanged(bool active);
};

} // namespace brevona
