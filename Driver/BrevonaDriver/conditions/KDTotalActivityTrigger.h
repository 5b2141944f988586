#pragma once

namespace brevona {

// Turns the device's volume-found and volume-lost notifications into
// "LUMIVOX_DRIVE_STATE_CHANGED" (true/false) followed by a recomposition.
class KDTotalActivityTrigger
{
public:
    static KDTotalActivityTrigger &sharedTrigger();
    ~KDTotalActivityTrigger();

    // The keyboard volume's presence as last announced; true until the device says otherwise.
    bool isDrivePresent() const { return m_drivePresent; }

private:
    KDTotalActivityTrigger();
    void driveStateChanged(bool present);

    bool m_drivePresent = true;
};

} // namespace brevona
