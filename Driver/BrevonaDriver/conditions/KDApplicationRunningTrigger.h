#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>

namespace brevona {

class ApplicationMonitor;

// Watches launches and quits of the applications that running conditions name, and posts
// "APP_LAUNCHED_NOTIFICATION" or "APP_TERMINATED_NOTIFICATION" (object: the identifier) followed by
// "SOME_CONDITION_HAVE_TRIGGERED". It listens to the session only while someone is subscribed.
class KDApplicationRunningTrigger : public QObject
{
public:
    static KDApplicationRunningTrigger &sharedTrigger();

    // Subscriptions are counted per identifier, so that one of two conditions on the same
    // application can go without silencing the other.
    void subscribe(const QString &bundleId);
    void unsubscribe(const QString &bundleId);

    QStringList bundleIds() const;
    bool isObserving() const { return !m_monitor.isNull(); }

private:
    KDApplicationRunningTrigger() = default;
    void startObserving();
    void stopObserving();
    void applicationEvent(const QString &bundleId, bool launched);

    QHash<QString, int> m_bundleIds;
    QPointer<ApplicationMonitor> m_monitor;
};

} // namespace brevona
