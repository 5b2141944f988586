#pragma once

#include <QObject>
#include <QTimer>

namespace brevona {

// Follows which modifier keys are held and posts "MODIFIERS_CHANGED" (object: the mask)
// followed by "SOME_CONDITION_HAVE_TRIGGERED" when the mask changes. Key events schedule a check
// 0.01 s later (a burst of them gives one check); a 0.9 s timer catches anything else.
class KDModifierConditionTrigger : public QObject
{
public:
    static constexpr int PollIntervalMs = 900;
    static constexpr int KeyEventDelayMs = 10;

    static KDModifierConditionTrigger &sharedTrigger();

    // Schedules a check and tells every modifier condition the current mask.
    void start();
    void stop() {}
    // Reads the held modifiers and posts when the mask changed.
    void checkMask();

    int modifiersState() const { return m_modifiersState; }
    bool isCheckPending() const { return m_keyTimer.isActive(); }

private:
    KDModifierConditionTrigger();
    ~KDModifierConditionTrigger() override;

    QTimer m_pollTimer;
    QTimer m_keyTimer;
    int m_modifiersState = 0;
};

} // namespace brevona
