#pragma once

namespace brevona {

// What the firmware upgrade needs of the driver: to let go of the keyboard's volume while the image
// is written, and to take the keyboard again when the upgrade did not happen (after a written
// image the keyboard reconnects by itself and the driver finds it as after any mount).
class FirmwareDriverControl
{
public:
    virtual ~FirmwareDriverControl() = default;
    // "ForceDeviceStop": the driver stops writing to the volume.
    virtual void releaseKeyboard() = 0;
    // The keyboard stays where it was: the driver must not be left without it.
    virtual void resumeKeyboard() = 0;
};

} // namespace brevona
