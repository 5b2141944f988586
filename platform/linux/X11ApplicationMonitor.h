#pragma once

#include <sys/types.h>

#include <memory>

#include <QHash>
#include <QSet>
#include <QStringList>

#include <xcb/xcb.h>

#include "ApplicationMonitor.h"
#include "linux/DesktopEntries.h"
#include "linux/X11AppEventConnection.h"

class QSocketNotifier;

namespace brevona {

class DesktopEntriesWatch;

// Applications as an EWMH window manager shows them: an application runs while it has a window in
// the root window's _NET_CLIENT_LIST, and after its last window went until its process exits; the
// application in front owns _NET_ACTIVE_WINDOW. Both properties are followed by their change
// events, so nothing is polled. A window belongs to a desktop entry by its _GTK_APPLICATION_ID,
// its WM_CLASS or its process's executable (DesktopEntries::match); the process is the window's
// _NET_WM_PID, or what the X-Resource extension knows of a local client. Process exits are
// followed through pidfds.
class X11ApplicationMonitor : public ApplicationMonitor
{
    Q_OBJECT
public:
    // `display` empty: $DISPLAY. `applicationFolders` empty: the XDG "applications" folders.
    explicit X11ApplicationMonitor(QString display = {}, QStringList applicationFolders = {},
                                   QObject *parent = nullptr);
    ~X11ApplicationMonitor() override;

    std::optional<QSet<QString>> runningApplications() override;
    QString foregroundApplication() override;
    bool notifiesForegroundChanges() const override { return true; }
    void startWatching() override;

    // What the server tells about a window, and its local process (0 when unknown).
    WindowIdentity identify(xcb_window_t window, pid_t *process = nullptr);

private:
    struct WindowRecord
    {
        QString identifier;
        pid_t pid = 0;
    };
    struct Application
    {
        int windows = 0;
        QSet<pid_t> pids;
        // Processes of an application without windows, watched until they exit.
        QHash<pid_t, QSocketNotifier *> exits;
    };

    bool ready();
    void setUp();
    void handleEvent(const xcb_generic_event_t &event);
    void readClientList();
    void readActiveWindow();
    WindowRecord describe(xcb_window_t window);
    pid_t processOf(xcb_window_t window);
    void addWindow(xcb_window_t window, const WindowRecord &record);
    void removeWindow(xcb_window_t window);
    bool watchExit(const QString &identifier, pid_t pid);
    void settle(const QString &identifier);
    void forgetAll(bool announce);
    void watchFolders();

    X11AppEventConnection m_x;
    QStringList m_applicationFolders;
    std::unique_ptr<DesktopEntries> m_entries;
    DesktopEntriesWatch *m_entriesWatch = nullptr;
    QHash<xcb_window_t, WindowRecord> m_windows;
    QHash<QString, Application> m_applications;
    QString m_foreground;
    quint64 m_setUpGeneration = 0;
    xcb_atom_t m_clientListAtom = XCB_ATOM_NONE;
    xcb_atom_t m_activeWindowAtom = XCB_ATOM_NONE;
    bool m_resources = false;
    bool m_announce = false;
};

} // namespace brevona
