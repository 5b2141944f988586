#include "KDForegroundApplicationCondition.h"

#include "ConditionKeys.h"
#include "ConditionNotifications.h"
#include "KDForegroundApplicationTrigger.h"
#include "NotificationCenter.h"

namespace brevona {

namespace ck = conditionkeys;

KDForegroundApplicationCondition::KDForegroundApplicationCondition(const QVariantMap &settings)
    : m_applicationBundleId(settings.value(ck::Application).toString())
    , m_isInverted(settings.value(ck::Predicate).toString() == ck::IsNotActive)
{
    NotificationCenter::defaultCenter().addObserver(
        this, notifications::ForeappHaveChanged,
        [this](Notification &n) { m_state = n.object().toString() == m_applicationBundleId; });
    getTrigger().start();
    // The trigger's value rather than a fresh reading: every foreground condition agrees with the
    // others at every moment, also one created between two changes.
    m_state = getTrigger().currentBundleId() == m_applicationBundleId;
}

KDForegroundApplicationCondition::~KDForegroundApplicationCondition()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    getTrigger().stop();
}

KDForegroundApplicationTrigger &KDForegroundApplicationCondition::getTrigger()
{
    return KDForegroundApplicationTrigger::sharedTrigger();
}

} // namespace brevona
