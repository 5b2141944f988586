#include "WaylandToplevelMonitor.h"

#include <cstring>

#include <QSocketNotifier>

#include <wayland-client.h>

#include "WaylandBackends.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace brevona {

namespace {

// Version 3 adds only parents, which nothing here needs; 1 is enough and every compositor has it.
constexpr quint32 kManagerVersion = 1;

WaylandToplevelMonitor *monitorOf(void *data)
{
    return static_cast<WaylandToplevelMonitor *>(data);
}

void onGlobal(void *data, wl_registry *registry, quint32 name, const char *interface, quint32 version)
{
    monitorOf(data)->globalAdded(registry, name, interface, version);
}

void onGlobalRemoved(void *, wl_registry *, quint32) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemoved};

void onToplevel(void *data, zwlr_foreign_toplevel_manager_v1 *, zwlr_foreign_toplevel_handle_v1 *handle)
{
    monitorOf(data)->toplevelAdded(handle);
}

void onFinished(void *, zwlr_foreign_toplevel_manager_v1 *) {}

const zwlr_foreign_toplevel_manager_v1_listener kManagerListener = {onToplevel, onFinished};

void onTitle(void *, zwlr_foreign_toplevel_handle_v1 *, const char *) {}

void onAppId(void *data, zwlr_foreign_toplevel_handle_v1 *handle, const char *appId)
{
    monitorOf(data)->appIdChanged(handle, appId);
}

void onOutput(void *, zwlr_foreign_toplevel_handle_v1 *, wl_output *) {}

void onState(void *data, zwlr_foreign_toplevel_handle_v1 *handle, wl_array *states)
{
    bool activated = false;
    const auto *state = static_cast<const quint32 *>(states->data);
    for (size_t i = 0; i < states->size / sizeof(quint32); ++i)
        activated = activated || state[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
    monitorOf(data)->stateChanged(handle, activated);
}

void onDone(void *data, zwlr_foreign_toplevel_handle_v1 *handle)
{
    monitorOf(data)->toplevelDone(handle);
}

void onClosed(void *data, zwlr_foreign_toplevel_handle_v1 *handle)
{
    monitorOf(data)->toplevelClosed(handle);
}

void onParent(void *, zwlr_foreign_toplevel_handle_v1 *, zwlr_foreign_toplevel_handle_v1 *) {}

const zwlr_foreign_toplevel_handle_v1_listener kHandleListener = {onTitle, onAppId, onOutput, onOutput,
                                                                  onState, onDone,  onClosed, onParent};

} // namespace

WaylandToplevelMonitor::WaylandToplevelMonitor(QString display, QStringList applicationFolders,
                                               QObject *parent)
    : WaylandApplicationMonitor(std::move(applicationFolders), parent)
    , m_display(std::move(display))
{}

WaylandToplevelMonitor::~WaylandToplevelMonitor()
{
    disconnect();
}

void WaylandToplevelMonitor::globalAdded(wl_registry *registry, quint32 name, const char *interface, quint32)
{
    if (!m_manager && std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
        m_manager = static_cast<zwlr_foreign_toplevel_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface, kManagerVersion));
        zwlr_foreign_toplevel_manager_v1_add_listener(m_manager, &kManagerListener, this);
    }
}

void WaylandToplevelMonitor::toplevelAdded(zwlr_foreign_toplevel_handle_v1 *handle)
{
    m_toplevels.insert(handle, Toplevel{QString::number(m_nextKey++), {}, false, false});
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kHandleListener, this);
}

void WaylandToplevelMonitor::appIdChanged(zwlr_foreign_toplevel_handle_v1 *handle, const char *appId)
{
    const auto found = m_toplevels.find(handle);
    if (found != m_toplevels.end())
        found->appId = QString::fromUtf8(appId);
}

void WaylandToplevelMonitor::stateChanged(zwlr_foreign_toplevel_handle_v1 *handle, bool activated)
{
    const auto found = m_toplevels.find(handle);
    if (found != m_toplevels.end())
        found->activated = activated;
}

void WaylandToplevelMonitor::toplevelDone(zwlr_foreign_toplevel_handle_v1 *handle)
{
    const auto found = m_toplevels.find(handle);
    if (found == m_toplevels.end() || m_listing)
        return;
    if (!found->shown) {
        found->shown = true;
        windowOpened({found->key, identityOf(found->appId, QString(), QString(), 0)});
    }
    if (found->activated && m_focusedKey != found->key) {
        m_focusedKey = found->key;
        windowFocused(m_focusedKey);
    } else if (!found->activated && m_focusedKey == found->key) {
        m_focusedKey.clear();
        windowFocused(QString());
    }
}

void WaylandToplevelMonitor::toplevelClosed(zwlr_foreign_toplevel_handle_v1 *handle)
{
    const Toplevel toplevel = m_toplevels.take(handle);
    zwlr_foreign_toplevel_handle_v1_destroy(handle);
    if (toplevel.key == m_focusedKey)
        m_focusedKey.clear();
    windowClosed(toplevel.key);
}

bool WaylandToplevelMonitor::failed(const QString &reason)
{
    if (!m_failureLogged)
        qCWarning(lcWayland).noquote()
            << reason + QStringLiteral("; running and foreground applications are not"
                                       " available");
    m_failureLogged = true;
    disconnect();
    return false;
}

bool WaylandToplevelMonitor::connectToCompositor()
{
    disconnect();
    const QByteArray name = m_display.toLocal8Bit();
    m_connection = wl_display_connect(name.isEmpty() ? nullptr : name.constData());
    if (!m_connection)
        return failed(QStringLiteral("Cannot connect to the Wayland display ") +
                      (m_display.isEmpty() ? qEnvironmentVariable("WAYLAND_DISPLAY") : m_display));
    m_registry = wl_display_get_registry(m_connection);
    wl_registry_add_listener(m_registry, &kRegistryListener, this);
    // The globals, then the toplevels that exist with their first batch of state.
    m_listing = true;
    const bool answered =
        wl_display_roundtrip(m_connection) >= 0 && (!m_manager || wl_display_roundtrip(m_connection) >= 0);
    m_listing = false;
    if (!answered)
        return failed(QStringLiteral("The Wayland display did not answer"));
    if (!m_manager)
        return failed(
            QStringLiteral("The compositor offers no window list (wlr-foreign-toplevel-management)"));
    m_failureLogged = false;
    QList<Window> windows;
    for (auto it = m_toplevels.begin(); it != m_toplevels.end(); ++it) {
        it->shown = true;
        windows.append({it->key, identityOf(it->appId, QString(), QString(), 0)});
        if (it->activated)
            m_focusedKey = it->key;
    }
    replaceWindows(windows, m_focusedKey);
    m_events = new QSocketNotifier(wl_display_get_fd(m_connection), QSocketNotifier::Read, this);
    connect(m_events, &QSocketNotifier::activated, this, &WaylandToplevelMonitor::dispatch);
    return true;
}

void WaylandToplevelMonitor::dispatch()
{
    if (m_connection && wl_display_dispatch(m_connection) >= 0) {
        wl_display_flush(m_connection);
        return;
    }
    qCWarning(lcWayland) << "The Wayland display went away";
    disconnect();
    compositorLost();
}

void WaylandToplevelMonitor::disconnect()
{
    delete m_events;
    m_events = nullptr;
    for (auto it = m_toplevels.begin(); it != m_toplevels.end(); ++it)
        zwlr_foreign_toplevel_handle_v1_destroy(it.key());
    m_toplevels.clear();
    m_focusedKey.clear();
    if (m_manager)
        zwlr_foreign_toplevel_manager_v1_destroy(m_manager);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_connection)
        wl_display_disconnect(m_connection);
    m_manager = nullptr;
    m_registry = nullptr;
    m_connection = nullptr;
}

} // namespace brevona
