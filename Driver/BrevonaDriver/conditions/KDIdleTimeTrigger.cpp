#include "KDIdleTimeTrigger.h"

#include <algorithm>

#include "ConditionNotifications.h"
#include "IdleTimeSource.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"
#include "SSHidIdleTime.h"

namespace brevona {

KDIdleTimeTrigger &KDIdleTimeTrigger::sharedTrigger()
{
    // Lives until the process ends; never destroyed after the event loop is gone.
    static auto *trigger = new KDIdleTimeTrigger();
    return *trigger;
}

KDIdleTimeTrigger::KDIdleTimeTrigger()
{
    m_checkTimer.setSingleShot(true);
    m_checkTimer.setInterval(SlowIntervalMs);
    connect(&m_checkTimer, &QTimer::timeout, this, &KDIdleTimeTrigger::check);
    auto &center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::HidKeyDown, [this](Notification &) { keyEvent(); });
    center.addObserver(this, notifications::HidKeyUp, [this](Notification &) { keyEvent(); });
}

KDIdleTimeTrigger::~KDIdleTimeTrigger()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void KDIdleTimeTrigger::subscribe(const void *subscriber, int seconds, std::function<void()> setState)
{
    const bool first = m_subscriptions.empty();
    m_subscriptions.push_back(SSNotifyInfo{seconds, subscriber, std::move(setState)});
    if (first)
        restartTimer();
}

void KDIdleTimeTrigger::unSubscribe(const void *subscriber)
{
    std::erase_if(m_subscriptions,
                  [subscriber](const SSNotifyInfo &info) { return info.delegate == subscriber; });
    // Nobody left to tell: the checks rest until the next subscription.
    if (m_subscriptions.empty())
        m_checkTimer.stop();
}

void KDIdleTimeTrigger::keyEvent()
{
    // A key the session saw shows in its idle time. One it did not see (a simulated keyboard)
    // is remembered, so that the following checks do not take the user for idle.
    if (SSHidIdleTime(IdleTimeSource::instance()).idleTimeInSeconds() > 0)
        m_lastKeyEvent.start();
    else
        m_lastKeyEvent.invalidate();
    check();
}

quint32 KDIdleTimeTrigger::idleSeconds() const
{
    quint32 idle = SSHidIdleTime(IdleTimeSource::instance()).idleTimeInSeconds();
    if (m_lastKeyEvent.isValid())
        idle = std::min<quint64>(idle, quint64(m_lastKeyEvent.elapsed()) / 1000);
    return idle;
}

void KDIdleTimeTrigger::check()
{
    const quint32 idle = idleSeconds();
    const quint32 last = m_lastIdle;
    bool conditionsChanged = false;
    auto &center = NotificationCenter::defaultCenter();
    if (last <= idle) {
        // No input since the last check: every interval passed since then fires.
        for (std::size_t i = 0; i < m_subscriptions.size(); ++i) {
            const SSNotifyInfo info = m_subscriptions[i];
            if (qint64(last) < info.time && qint64(info.time) <= qint64(idle)) {
                if (info.setState) {
                    info.setState();
                    conditionsChanged = true;
                }
                m_haveActivatedSubscriptions = true;
            }
        }
    } else {
        center.post(notifications::IdleTimeReset);
        if (m_haveActivatedSubscriptions) {
            m_haveActivatedSubscriptions = false;
            conditionsChanged = true;
        }
    }
    m_lastIdle = idle;
    if (conditionsChanged)
        center.post(notifications::SomeConditionHaveTriggered);
    restartTimer();
}

void KDIdleTimeTrigger::restartTimer()
{
    if (m_subscriptions.empty())
        return;
    m_checkTimer.start(m_haveActivatedSubscriptions ? FastIntervalMs : SlowIntervalMs);
}

} // namespace brevona
