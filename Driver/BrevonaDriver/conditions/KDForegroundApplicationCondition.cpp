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
        [this](Notification &n) { m_state = matches(n.object().toString()); });
    getTrigger().start();
    // The trigger's value rather than a fresh reading: every foreground condition agrees with the
    // others at every moment, also one created between two changes.
    m_state = matches(getTrigger().currentBundleId());
}

bool KDForegroundApplicationCondition::matches(const QString &bundleId) const
{
    // No application is known to be in front (no display, the desktop) as the empty identifier;
    // a record that names no application must not take that for its own.
    return !m_applicationBundleId.isEmpty() && bundleId == m_applicationBundleId;
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
