#pragma once

#include <functional>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace brevona {

// One idle subscription: after `time` seconds without input the subscriber's `setState` runs,
// when it has one.
struct SSNotifyInfo
{
    int time = 0;
    const void *delegate = nullptr;
    std::function<void()> setState;
};

// Watches the time since the user's last input for its subscribers: idle conditions, and the
// keyboard device, which needs to learn quickly when the user is back after its sleep interval.
// Checks run every 5 s until some subscriber's interval has passed and every 0.2 s from then
// until the user is back, and at once on every key event of the keyboard. The return of the user
// posts "IDLE_TIME_RESET_NOTIFICATION"; a change of the conditions' state also posts
// "SOME_CONDITION_HAVE_TRIGGERED".
class KDIdleTimeTrigger : public QObject
{
public:
    static constexpr int SlowIntervalMs = 5000;
    static constexpr int FastIntervalMs = 200;

    // The process's trigger, which conditions and the device subscribe to.
    static KDIdleTimeTrigger &sharedTrigger();

    KDIdleTimeTrigger();
    ~KDIdleTimeTrigger() override;

    // Adds a subscription; `seconds` of idle time make it fire once, until the user is back.
    void subscribe(const void *subscriber, int seconds, std::function<void()> setState = {});
    // Removes every subscription of `subscriber`.
    void unSubscribe(const void *subscriber);
    void check();

    bool haveActivatedSubscriptions() const { return m_haveActivatedSubscriptions; }
    const std::vector<SSNotifyInfo> &subscriptions() const { return m_subscriptions; }
    bool isChecking() const { return m_checkTimer.isActive(); }
    int checkInterval() const { return m_checkTimer.interval(); }

private:
    // Seconds since the last input of any device, the keyboard's key events included.
    quint32 idleSeconds() const;
    void keyEvent();
    void restartTimer();

    QTimer m_checkTimer;
    std::vector<SSNotifyInfo> m_subscriptions;
    bool m_haveActivatedSubscriptions = false;
    quint32 m_lastIdle = 0;
    QElapsedTimer m_lastKeyEvent;
};

} // namespace brevona
