#include "KDLanguageConditionTrigger.h"

#include "ConditionNotifications.h"
#include "DeferredCall.h"
#include "InputLanguageSource.h"
#include "LanguageTable.h"
#include "NotificationCenter.h"
#include "NotificationNames.h"

namespace brevona {

KDLanguageConditionTrigger &KDLanguageConditionTrigger::sharedTrigger()
{
    // Lives until the process ends; never destroyed after the event loop is gone.
    static auto *trigger = new KDLanguageConditionTrigger();
    return *trigger;
}

KDLanguageConditionTrigger::KDLanguageConditionTrigger()
{
    m_timer.setInterval(PollIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { checkLayout(false); });
    followSource();
}

void KDLanguageConditionTrigger::followSource()
{
    InputLanguageSource &source = InputLanguageSource::instance();
    if (m_source == &source)
        return;
    if (m_source)
        m_source->disconnect(this);
    m_source = &source;
    source.startWatching();
    connect(&source, &InputLanguageSource::languageChanged, this, [this] { checkLayout(false); });
    if (source.notifiesChanges())
        m_timer.stop();
    else
        m_timer.start();
}

int KDLanguageConditionTrigger::currentLayoutID(InputLanguageSource &source)
{
    const std::optional<QString> layout = source.currentLayout();
    return layout ? LanguageTable::identifierForLayout(*layout) : 0;
}

void KDLanguageConditionTrigger::start()
{
    followSource();
    checkLayout(true);
}

void KDLanguageConditionTrigger::checkLayout(bool forced)
{
    const int layoutID = currentLayoutID(m_source ? *m_source : InputLanguageSource::instance());
    const bool changed = layoutID != m_wasLayoutID;
    m_wasLayoutID = layoutID;
    if (!changed && !forced)
        return;
    auto &center = NotificationCenter::defaultCenter();
    center.post(notifications::CurrentLanguageHaveChanged, QVariant(layoutID));
    if (changed) {
        center.post(notifications::SomeConditionHaveTriggered);
        return;
    }
    // A forced check runs while a new condition is being made, in the middle of loading or
    // changing the tree: the recomposition waits for the event loop, once for the whole burst.
    DeferredCall::performOnce(this, notifications::SomeConditionHaveTriggered, {}, [] {
        NotificationCenter::defaultCenter().post(notifications::SomeConditionHaveTriggered);
    });
}

} // namespace brevona
