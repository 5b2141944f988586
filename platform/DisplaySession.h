#pragma once

#include <optional>

#include <QString>

namespace brevona {

// The kind of graphical session the user runs, decided here for every service that reads the
// session (idle time, Caps Lock, modifier remapping, applications, languages, hot keys), so that
// they all agree and a backend for another kind can be chosen in this one place.
class DisplaySession
{
public:
    enum class Kind
    {
        X11,
        Wayland,
        None,
    };

    // From the environment: a Wayland compositor (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE
    // "wayland") makes a Wayland session even where DISPLAY names its Xwayland, which sees only
    // the input and windows of X clients; otherwise DISPLAY makes an X11 session.
    static Kind current();

    // Why an X11 service cannot use `display` (empty: the session's), as the start of its one log
    // line ("Wayland session", "No X display"); nothing when it may connect. A display named
    // explicitly is always used.
    static std::optional<QString> x11Unavailable(const QString &display);
};

} // namespace brevona
