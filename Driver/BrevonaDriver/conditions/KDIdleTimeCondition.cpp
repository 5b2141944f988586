#include "KDIdleTimeCondition.h"

#include <cmath>
#include <limits>

#include "ConditionKeys.h"
#include "ConditionNotifications.h"
#include "KDIdleTimeTrigger.h"
#include "NotificationCenter.h"

namespace brevona {

KDIdleTimeCondition::KDIdleTimeCondition(const QVariantMap &settings)
    : m_time(timeOfPlist(settings))
{
    getTrigger().subscribe(this, m_time, [this] { m_state = true; });
    NotificationCenter::defaultCenter().addObserver(this, notifications::IdleTimeReset,
                                                    [this](Notification &) { m_state = false; });
}

KDIdleTimeCondition::~KDIdleTimeCondition()
{
    getTrigger().unSubscribe(this);
    NotificationCenter::defaultCenter().removeObserver(this);
}

int KDIdleTimeCondition::timeOfPlist(const QVariantMap &settings)
{
    const QVariant time = settings.value(conditionkeys::Time);
    bool ok = false;
    const double value = time.toDouble(&ok);
    if (!ok || !std::isfinite(value) || value >= std::numeric_limits<int>::max() ||
        value <= std::numeric_limits<int>::min())
        return 0;
    return static_cast<int>(value);
}

KDIdleTimeTrigger &KDIdleTimeCondition::getTrigger()
{
    return KDIdleTimeTrigger::sharedTrigger();
}

} // namespace brevona
