#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace brevona {

class InputLanguageSource;

// Follows the keyboard layout in use and posts "CURRENT_LANGUAGE_HAVE_CHANGED_NOTIFICATION"
// (object: the layout's identifier from the language table, 0 when the session cannot tell)
// followed by "SOME_CONDITION_HAVE_TRIGGERED" when it changes. A session that announces changes is
// listened to; any other is read every 0.5 s.
class KDLanguageConditionTrigger : public QObject
{
public:
    static constexpr int PollIntervalMs = 500;

    static KDLanguageConditionTrigger &sharedTrigger();

    // Tells the current layout to every language condition, changed or not.
    void start();
    void stop() {}
    // Reads the layout in use; posts when it changed, or always when `forced`.
    void checkLayout(bool forced);

    int wasLayoutID() const { return m_wasLayoutID; }
    bool isPolling() const { return m_timer.isActive(); }
    // The identifier of the layout in use; 0 when the session cannot tell.
    static int currentLayoutID(InputLanguageSource &source);

private:
    KDLanguageConditionTrigger();
    void followSource();

    QTimer m_timer;
    int m_wasLayoutID = 0;
    QPointer<InputLanguageSource> m_source;
};

} // namespace brevona
