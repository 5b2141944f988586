#pragma once

#include <memory>

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QStringList>

#include "ApplicationMonitor.h"
#include "linux/DesktopEntries.h"

namespace brevona {

class DesktopEntriesWatch;

// The applications of a Wayland compositor that reports its windows, whatever its interface: an
// application runs while it has a window and is in front while one of its windows has the focus.
// A window belongs to a desktop entry through DesktopEntries::match, with its app id taken both as
// an application id and as a window class (toolkits set it to the desktop file's name or to the
// program's class), and its process's executable. Backends report windows by a key of their own.
class WaylandApplicationMonitor : public ApplicationMonitor
{
    Q_OBJECT
public:
    struct Window
    {
        QString key;
        WindowIdentity identity;
    };

    ~WaylandApplicationMonitor() override;

    std::optional<QSet<QString>> runningApplications() override;
    QString foregroundApplication() override;
    bool notifiesForegroundChanges() const override { return true; }
    void startWatching() override;

    // What a Wayland window tells: its app id (empty for Xwayland windows), the X class and
    // instance of an Xwayland one, and the executable of its process (0: unknown).
    static WindowIdentity identityOf(const QString &appId, const QString &wmClass, const QString &wmInstance,
                                     qint64 pid);

protected:
    // `applicationFolders` empty: the XDG "applications" folders.
    explicit WaylandApplicationMonitor(QStringList applicationFolders, QObject *parent = nullptr);

    // Connects to the compositor when not connected and reads its windows (through
    // replaceWindows); false while it cannot be reached.
    virtual bool connectToCompositor() = 0;

    // The compositor's whole list, as read after connecting: only windows that appear after a
    // reader was told "nothing" are announced as launches.
    void replaceWindows(const QList<Window> &windows, const QString &focusedKey);
    void windowOpened(const Window &window);
    void windowClosed(const QString &key);
    // `key` empty: no window has the focus.
    void windowFocused(const QString &key);
    bool hasWindow(const QString &key) const { return m_windows.contains(key); }
    // The compositor went away, and its windows with it.
    void compositorLost();

private:
    bool ready();
    QString identifierOf(const WindowIdentity &identity);
    void addWindow(const QString &key, const QString &identifier);
    void setForeground(const QString &identifier);
    void watchFolders();

    QStringList m_applicationFolders;
    std::unique_ptr<DesktopEntries> m_entries;
    DesktopEntriesWatch *m_entriesWatch = nullptr;
    QHash<QString, QString> m_windows;  // key -> application identifier
    QHash<QString, int> m_applications; // identifier -> windows
    QString m_foregroundKey;
    QString m_foreground;
    QDeadlineTimer m_nextAttempt{0};
    bool m_connected = false;
    bool m_announce = false;
};

} // namespace brevona
