#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

namespace brevona {

class ApplicationMonitor;

// Follows the application in front while foreground conditions exist, and posts
// "FOREAPP_HAVE_CHANGED_NOTIFICATION" (object: its identifier) followed by
// "SOME_CONDITION_HAVE_TRIGGERED" when it changes. A session that announces foreground changes is
// listened to; any other is read every 0.2 s.
class KDForegroundApplicationTrigger : public QObject
{
public:
    static constexpr int PollIntervalMs = 200;

    static KDForegroundApplicationTrigger &sharedTrigger();

    // Counts a condition; the first one starts following the session.
    void start();
    // Uncounts a condition; the last one stops following it.
    void stop();
    // Reads the application in front and posts when it changed.
    void tick();

    int conditionsCount() const { return m_conditionsCount; }
    const QString &currentBundleId() const { return m_currentBundleId; }
    bool isPolling() const { return m_workTimer.isActive(); }
    bool isListening() const { return !m_monitor.isNull(); }

private:
    KDForegroundApplicationTrigger();
    void changeTo(const QString &bundleId);

    int m_conditionsCount = 0;
    QTimer m_workTimer;
    QString m_currentBundleId;
    QPointer<ApplicationMonitor> m_monitor;
};

} // namespace brevona
