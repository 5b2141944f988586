#include "KDApplicationRunningTrigger.h"

#include "ApplicationMonitor.h"
#include "ConditionNotifications.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

KDApplicationRunningTrigger &KDApplicationRunningTrigger::sharedTrigger()
{
    // Lives until the process ends; never destroyed after the event loop is gone.
    static auto *trigger = new KDApplicationRunningTrigger();
    return *trigger;
}

void KDApplicationRunningTrigger::subscribe(const QString &bundleId)
{
    if (m_bundleIds.isEmpty())
        startObserving();
    ++m_bundleIds[bundleId];
}

void KDApplicationRunningTrigger::unsubscribe(const QString &bundleId)
{
    const auto found = m_bundleIds.find(bundleId);
    if (found == m_bundleIds.end())
        return;
    if (--found.value() <= 0)
        m_bundleIds.erase(found);
    if (m_bundleIds.isEmpty())
        stopObserving();
}

QStringList KDApplicationRunningTrigger::bundleIds() const
{
    QStringList ids = m_bundleIds.keys();
    ids.sort();
    return ids;
}

void KDApplicationRunningTrigger::startObserving()
{
    ApplicationMonitor &monitor = ApplicationMonitor::instance();
    m_monitor = &monitor;
    connect(&monitor, &ApplicationMonitor::applicationLaunched, this,
            [this](const QString &id) { applicationEvent(id, true); });
    connect(&monitor, &ApplicationMonitor::applicationTerminated, this,
            [this](const QString &id) { applicationEvent(id, false); });
    monitor.startWatching();
}

void KDApplicationRunningTrigger::stopObserving()
{
    if (m_monitor)
        m_monitor->disconnect(this);
    m_monitor.clear();
}

void KDApplicationRunningTrigger::applicationEvent(const QString &bundleId, bool launched)
{
    if (!m_bundleIds.contains(bundleId))
        return;
    auto &center = NotificationCenter::defaultCenter();
    center.post(launched ? notifications::AppLaunched : notifications::AppTerminated, QVariant(bundleId));
    center.post(notifications::SomeConditionHaveTriggered);
}

} // namespace brevona
