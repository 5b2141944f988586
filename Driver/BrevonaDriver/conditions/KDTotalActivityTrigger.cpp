#include "KDTotalActivityTrigger.h"

#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

KDTotalActivityTrigger &KDTotalActivityTrigger::sharedTrigger()
{
    static KDTotalActivityTrigger trigger;
    return trigger;
}

KDTotalActivityTrigger::KDTotalActivityTrigger()
{
    auto &center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::DriveFound, [this](Notification &) { driveStateChanged(true); });
    center.addObserver(this, notifications::DriveLost, [this](Notification &) { driveStateChanged(false); });
}

KDTotalActivityTrigger::~KDTotalActivityTrigger()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void KDTotalActivityTrigger::driveStateChanged(bool present)
{
    m_drivePresent = present;
    auto &center = NotificationCenter::defaultCenter();
    center.post(notifications::DriveStateChanged, QVariant(present));
    center.post(notifications::SomeConditionHaveTriggered);
}

} // namespace brevona
