#include "WaylandIdleTimeSource.h"

#include <cstring>

#include <QSocketNotifier>

#include <wayland-client.h>

#include "WaylandBackends.h"
#include "ext-idle-notify-v1-client-protocol.h"

namespace brevona {

namespace {

// The shortest idle period the compositor is asked to report: the resolution of the idle time.
constexpr quint32 kIdleAfterMs = 1000;

void onGlobal(void *data, wl_registry *registry, quint32 name, const char *interface, quint32 version)
{
    static_cast<WaylandIdleTimeSource *>(data)->globalAdded(registry, name, interface, version);
}

void onGlobalRemoved(void *, wl_registry *, quint32) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemoved};

void onIdled(void *data, ext_idle_notification_v1 *)
{
    static_cast<WaylandIdleTimeSource *>(data)->idled();
}

void onResumed(void *data, ext_idle_notification_v1 *)
{
    static_cast<WaylandIdleTimeSource *>(data)->resumed();
}

const ext_idle_notification_v1_listener kNotificationListener = {onIdled, onResumed};

} // namespace

WaylandIdleTimeSource::WaylandIdleTimeSource(QString display)
    : m_display(std::move(display))
{}

WaylandIdleTimeSource::~WaylandIdleTimeSource()
{
    disconnect();
}

void WaylandIdleTimeSource::globalAdded(wl_registry *registry, quint32 name, const char *interface, quint32)
{
    if (!m_seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        m_seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!m_notifier && std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0)
        m_notifier = static_cast<ext_idle_notifier_v1 *>(
            wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
}

void WaylandIdleTimeSource::idled()
{
    m_idleSince.start();
}

void WaylandIdleTimeSource::resumed()
{
    m_idleSince.invalidate();
}

void WaylandIdleTimeSource::unavailable(const QString &reason)
{
    qCInfo(lcWayland).noquote() << reason + QStringLiteral(
                                                "; idle time reads as 0 (the user always counts as active)");
    disconnect();
}

void WaylandIdleTimeSource::connectNow()
{
    // The session does not change while the program runs: one attempt.
    m_tried = true;
    const QByteArray name = m_display.toLocal8Bit();
    m_connection = wl_display_connect(name.isEmpty() ? nullptr : name.constData());
    if (!m_connection) {
        unavailable(QStringLiteral("Cannot connect to the Wayland display ") +
                    (m_display.isEmpty() ? qEnvironmentVariable("WAYLAND_DISPLAY") : m_display));
        return;
    }
    m_registry = wl_display_get_registry(m_connection);
    wl_registry_add_listener(m_registry, &kRegistryListener, this);
    if (wl_display_roundtrip(m_connection) < 0) {
        unavailable(QStringLiteral("The Wayland display did not answer"));
        return;
    }
    if (!m_notifier || !m_seat) {
        unavailable(QStringLiteral("The compositor offers no idle notifications (ext-idle-notify-v1)"));
        return;
    }
    m_notification = ext_idle_notifier_v1_get_idle_notification(m_notifier, kIdleAfterMs, m_seat);
    ext_idle_notification_v1_add_listener(m_notification, &kNotificationListener, this);
    wl_display_flush(m_connection);
    m_events = new QSocketNotifier(wl_display_get_fd(m_connection), QSocketNotifier::Read);
    QObject::connect(m_events, &QSocketNotifier::activated, m_events, [this] { dispatch(); });
}

void WaylandIdleTimeSource::dispatch()
{
    if (!m_connection)
        return;
    if (wl_display_dispatch(m_connection) < 0) {
        qCWarning(lcWayland) << "The Wayland display went away; idle time reads as 0";
        disconnect();
    }
}

void WaylandIdleTimeSource::disconnect()
{
    delete m_events;
    m_events = nullptr;
    if (m_notification)
        ext_idle_notification_v1_destroy(m_notification);
    if (m_notifier)
        ext_idle_notifier_v1_destroy(m_notifier);
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_connection)
        wl_display_disconnect(m_connection);
    m_notification = nullptr;
    m_notifier = nullptr;
    m_seat = nullptr;
    m_registry = nullptr;
    m_connection = nullptr;
    m_idleSince.invalidate();
}

bool WaylandIdleTimeSource::ready()
{
    if (!m_tried)
        connectNow();
    return m_connection != nullptr;
}

std::optional<quint64> WaylandIdleTimeSource::idleNanoseconds()
{
    if (!ready())
        return std::nullopt;
    // Whatever arrived since the event loop last looked.
    wl_display_dispatch_pending(m_connection);
    if (!m_idleSince.isValid())
        return 0;
    return quint64(m_idleSince.nsecsElapsed()) + quint64(kIdleAfterMs) * 1'000'000ULL;
}

} // namespace brevona
