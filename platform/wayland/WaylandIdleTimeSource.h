#pragma once

#include <QElapsedTimer>
#include <QString>

#include "IdleTimeSource.h"

class QSocketNotifier;
struct wl_display;
struct wl_registry;
struct wl_seat;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;

namespace brevona {

// Idle time from the compositor's ext-idle-notify-v1 protocol (KDE Plasma 6, Hyprland, sway 1.8
// and later wlroots compositors): the compositor says when the user has been idle for a second and
// when they come back; the time since then, plus that second, is the idle time. The protocol tells
// nothing shorter, so a user active within the last second reads as 0. The compositor may hold the
// notification back while a client inhibits idling (a video playing), as it does for its own
// screen locking. Without the protocol (or a display) it says so in one log line and tells nothing.
class WaylandIdleTimeSource : public IdleTimeSource
{
public:
    // `display` empty: $WAYLAND_DISPLAY.
    explicit WaylandIdleTimeSource(QString display = {});
    ~WaylandIdleTimeSource() override;

    std::optional<quint64> idleNanoseconds() override;

    // What the protocol's listener reports.
    void idled();
    void resumed();
    void globalAdded(wl_registry *registry, quint32 name, const char *interface, quint32 version);

private:
    bool ready();
    void connectNow();
    void disconnect();
    void unavailable(const QString &reason);
    void dispatch();

    QString m_display;
    wl_display *m_connection = nullptr;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    ext_idle_notifier_v1 *m_notifier = nullptr;
    ext_idle_notification_v1 *m_notification = nullptr;
    QSocketNotifier *m_events = nullptr;
    QElapsedTimer m_idleSince; // valid while the user is idle
    bool m_tried = false;
};

} // namespace brevona
