#include "KeyboardVolume.h"

#include <QFileInfo>

#include "VolumeLayout.h"
#include "VolumeMonitor.h"

namespace brevona {

bool KeyboardVolume::isKeyboard(const BlockDeviceIdentity &identity)
{
    if (!identity.removable)
        return false;
    if (identity.product == QLatin1String("LPC288x Disk"))
        return identity.vendor == QLatin1String("NXP Semi");
    if (identity.product == QLatin1String("QV113 V.Disk"))
        return identity.vendor == QLatin1String("Harwick") || identity.vendor == QLatin1String("Brevona");
    return false;
}

std::optional<QString> KeyboardVolume::find(const VolumeMonitor &volumes)
{
    for (const MountedVolume &volume : volumes.mountedVolumes()) {
        if (!QFileInfo(volume.mountPoint).isDir())
            continue;
        const auto identity = volumes.identify(volume);
        if (identity && isKeyboard(*identity))
            return volume.mountPoint;
    }
    return std::nullopt;
}

std::optional<QString> KeyboardVolume::findFolder(const VolumeMonitor &volumes)
{
    const auto mountPoint = find(volumes);
    if (!mountPoint)
        return std::nullopt;
    const QString folder = *mountPoint + QLatin1Char('/') + volumelayout::VolumeFolder;
    // A link named "vLumivox" could lead the writes anywhere: only a real folder counts.
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir())
        return std::nullopt;
    return folder;
}

} // namespace brevona
