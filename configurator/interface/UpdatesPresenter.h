#pragma once

#include <QObject>
#include <QPointer>

namespace brevona {

class KCSoftwareUpdates;
class PreferencesStore;
class UpdatesWindow;

// Shows the update check's state in the updates window and turns the window's gestures into
// calls on it; raises the window when an update asks to be noticed.
class UpdatesPresenter : public QObject
{
    Q_OBJECT
public:
    UpdatesPresenter(KCSoftwareUpdates &updates, PreferencesStore &preferences, UpdatesWindow &window,
                     QObject *parent = nullptr);

    // The window's software page shows the check's state again.
    void showSoftware();

signals:
    // Whether an update is offered changed: the toolbar's item follows.
    void updateAvailableChanged(bool available);

private:
    void setMessage(const QString &message);

    KCSoftwareUpdates &m_updates;
    PreferencesStore &m_preferences;
    UpdatesWindow &m_window;
    QString m_message;
    bool m_available = false;
};

} // namespace brevona
