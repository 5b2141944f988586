#include "KDForegroundApplicationTrigger.h"

#include "ApplicationMonitor.h"
#include "ConditionNotifications.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

KDForegroundApplicationTrigger &KDForegroundApplicationTrigger::sharedTrigger()
{
    // Lives until the process ends; never destroyed after the event loop is gone.
    static auto *trigger = new KDForegroundApplicationTrigger();
    return *trigger;
}

KDForegroundApplicationTrigger::KDForegroundApplicationTrigger()
{
    m_workTimer.setInterval(PollIntervalMs);
    connect(&m_workTimer, &QTimer::timeout, this, &KDForegroundApplicationTrigger::tick);
}

void KDForegroundApplicationTrigger::start()
{
    if (++m_conditionsCount > 1)
        return;
    ApplicationMonitor &monitor = ApplicationMonitor::instance();
    monitor.startWatching();
    // Nobody followed the session until now, so nobody is told; conditions take the value from here.
    m_currentBundleId = monitor.foregroundApplication();
    if (monitor.notifiesForegroundChanges()) {
        m_monitor = &monitor;
        connect(&monitor, &ApplicationMonitor::foregroundApplicationChanged, this,
                &KDForegroundApplicationTrigger::changeTo);
    } else {
        m_workTimer.start();
    }
}

void KDForegroundApplicationTrigger::stop()
{
    if (m_conditionsCount == 0 || --m_conditionsCount > 0)
        return;
    m_workTimer.stop();
    if (m_monitor)
        m_monitor->disconnect(this);
    m_monitor.clear();
}

void KDForegroundApplicationTrigger::tick()
{
    changeTo(ApplicationMonitor::instance().foregroundApplication());
}

void KDForegroundApplicationTrigger::changeTo(const QString &bundleId)
{
    if (bundleId == m_currentBundleId)
        return;
    m_currentBundleId = bundleId;
    auto &center = NotificationCenter::defaultCenter();
    center.post(notifications::ForeappHaveChanged, QVariant(bundleId));
    center.post(notifications::SomeConditionHaveTriggered);
}

} // namespace brevona
