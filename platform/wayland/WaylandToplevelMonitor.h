#pragma once

#include <QHash>

#include "wayland/WaylandApplicationMonitor.h"

class QSocketNotifier;
struct wl_display;
struct wl_registry;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace brevona {

// The windows of any wlroots compositor (river, labwc, Wayfire, sway too) from its
// foreign-toplevel protocol, which task bars use: each toplevel tells its app id and whether it is
// activated, and a "done" closes each batch of changes. The protocol tells no process, so windows
// go by their app id alone.
class WaylandToplevelMonitor : public WaylandApplicationMonitor
{
    Q_OBJECT
public:
    // `display` empty: $WAYLAND_DISPLAY. `applicationFolders` empty: the XDG "applications" folders.
    explicit WaylandToplevelMonitor(QString display = {}, QStringList applicationFolders = {},
                                    QObject *parent = nullptr);
    ~WaylandToplevelMonitor() override;

    // What the protocol's listeners report.
    void globalAdded(wl_registry *registry, quint32 name, const char *interface, quint32 version);
    void toplevelAdded(zwlr_foreign_toplevel_handle_v1 *handle);
    void appIdChanged(zwlr_foreign_toplevel_handle_v1 *handle, const char *appId);
    void stateChanged(zwlr_foreign_toplevel_handle_v1 *handle, bool activated);
    void toplevelDone(zwlr_foreign_toplevel_handle_v1 *handle);
    void toplevelClosed(zwlr_foreign_toplevel_handle_v1 *handle);

protected:
    bool connectToCompositor() override;

private:
    struct Toplevel
    {
        QString key;
        QString appId;
        bool activated = false;
        bool shown = false; // reported as open
    };

    bool failed(const QString &reason);
    void dispatch();
    void disconnect();

    QString m_display;
    wl_display *m_connection = nullptr;
    wl_registry *m_registry = nullptr;
    zwlr_foreign_toplevel_manager_v1 *m_manager = nullptr;
    QSocketNotifier *m_events = nullptr;
    QHash<zwlr_foreign_toplevel_handle_v1 *, Toplevel> m_toplevels;
    QString m_focusedKey;
    quint64 m_nextKey = 1;
    bool m_listing = false;
    bool m_failureLogged = false;
};

} // namespace brevona
