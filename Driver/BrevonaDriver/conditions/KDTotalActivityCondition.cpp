#include "KDTotalActivityCondition.h"

#include "KDTotalActivityTrigger.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

KDTotalActivityCondition::KDTotalActivityCondition()
{
    // The trigger must exist before the first drive notification can reach this condition. An
    // item made while the volume is away (a reload, a new layer) is hidden from the start.
    m_state = KDTotalActivityTrigger::sharedTrigger().isDrivePresent();
    NotificationCenter::defaultCenter().addObserver(
        this, notifications::DriveStateChanged, [this](Notification &n) { m_state = n.object().toBool(); });
}

KDTotalActivityCondition::~KDTotalActivityCondition()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

} // namespace brevona
