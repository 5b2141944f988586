#include "KDApplicationRunningCondition.h"

#include "ApplicationMonitor.h"
#include "ConditionKeys.h"
#include "ConditionNotifications.h"
#include "KDApplicationRunningTrigger.h"
#include "NotificationCenter.h"

namespace brevona {

namespace ck = conditionkeys;

KDApplicationRunningCondition::KDApplicationRunningCondition(const QVariantMap &settings)
    : m_bundleId(settings.value(ck::Application).toString())
    , m_isInverted(settings.value(ck::Predicate).toString() == ck::IsNotRunning)
{
    auto &center = NotificationCenter::defaultCenter();
    const auto follow = [this](bool launched) {
        return [this, launched](Notification &n) {
            if (n.object().toString() == m_bundleId)
                m_state = launched;
        };
    };
    center.addObserver(this, notifications::AppLaunched, follow(true));
    center.addObserver(this, notifications::AppTerminated, follow(false));
    // Subscribing first opens the session, so the answer below is current.
    getTrigger().subscribe(m_bundleId);
    m_state =
        ApplicationMonitor::instance().runningApplications().value_or(QSet<QString>()).contains(m_bundleId);
}

KDApplicationRunningCondition::~KDApplicationRunningCondition()
{
    getTrigger().unsubscribe(m_bundleId);
    NotificationCenter::defaultCenter().removeObserver(this);
}

KDApplicationRunningTrigger &KDApplicationRunningCondition::getTrigger()
{
    return KDApplicationRunningTrigger::sharedTrigger();
}

} // namespace brevona
