#pragma once

#include <optional>

#include <QString>

namespace brevona {

struct BlockDeviceIdentity;
class VolumeMonitor;

// The keyboard's own mass-storage volume among the mounted ones, told by the device behind it (the
// rule the driver follows), never by a volume label or a fixed mount path: a label can be chosen
// by anyone, the vendor and product strings of a removable device cannot.
class KeyboardVolume
{
public:
    static bool isKeyboard(const BlockDeviceIdentity &identity);
    // The mount point of the first keyboard volume in the system's order; nothing when none is
    // mounted or its device is not known to the system yet.
    static std::optional<QString> find(const VolumeMonitor &volumes);
    // Its "vLumivox" folder, when that is a folder.
    static std::optional<QString> findFolder(const VolumeMonitor &volumes);
};

} // namespace brevona
