#include "KDModifierConditionTrigger.h"

#include "ConditionNotifications.h"
#include "DeferredCall.h"
#include "KDKeyboardStateSource.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

KDModifierConditionTrigger &KDModifierConditionTrigger::sharedTrigger()
{
    // Lives until the process ends; never destroyed after the event loop is gone.
    static auto *trigger = new KDModifierConditionTrigger();
    return *trigger;
}

KDModifierConditionTrigger::KDModifierConditionTrigger()
{
    m_keyTimer.setSingleShot(true);
    m_keyTimer.setInterval(KeyEventDelayMs);
    connect(&m_keyTimer, &QTimer::timeout, this, &KDModifierConditionTrigger::checkMask);
    m_pollTimer.setInterval(PollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &KDModifierConditionTrigger::checkMask);
    m_pollTimer.start();

    auto &center = NotificationCenter::defaultCenter();
    const auto keyEvent = [this](Notification &) { m_keyTimer.start(); };
    center.addObserver(this, notifications::HidKeyDown, keyEvent);
    center.addObserver(this, notifications::HidKeyUp, keyEvent);
    // A modifier key that got an action while it was held goes up as a special key.
    center.addObserver(this, notifications::HidKeyUpSpecial, keyEvent);
}

KDModifierConditionTrigger::~KDModifierConditionTrigger()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void KDModifierConditionTrigger::start()
{
    m_keyTimer.start();
    NotificationCenter::defaultCenter().post(notifications::ModifiersChanged, QVariant(m_modifiersState));
    // Runs while a new condition is being made, in the middle of loading or changing the tree: the
    // recomposition waits for the event loop, once for the whole burst.
    DeferredCall::performOnce(this, notifications::SomeConditionHaveTriggered, {}, [] {
        NotificationCenter::defaultCenter().post(notifications::SomeConditionHaveTriggered);
    });
}

void KDModifierConditionTrigger::checkMask()
{
    const int mask = KDKeyboardStateSource::instance().modifierMask();
    if (mask == m_modifiersState)
        return;
    m_modifiersState = mask;
    auto &center = NotificationCenter::defaultCenter();
    center.post(notifications::ModifiersChanged, QVariant(mask));
    center.post(notifications::SomeConditionHaveTriggered);
}

} // namespace brevona
