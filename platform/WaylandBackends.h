#pragma once

#include <optional>

#include <QLoggingCategory>
#include <QString>

Q_DECLARE_LOGGING_CATEGORY(lcWayland)

namespace brevona {

class ApplicationMonitor;
class HotKeyService;
class IdleTimeSource;
class InputLanguageSource;

// Which program answers for each session service under a Wayland compositor, decided once at start
// in this one place. X clients see only Xwayland there, so no X11 service is used; each service
// goes to the compositor's own interface where a backend for it exists, and to one that says it
// is unavailable otherwise. BREVONA_WAYLAND_BACKEND (sway, hyprland, kde, gnome, wlroots, none)
// overrides the detection, to find out which backend a fault lies in.
class WaylandBackends
{
public:
    enum class Backend
    {
        Sway,
        Hyprland,
        Kde,
        Gnome,
        Wlroots,
        None,
    };

    enum class Service
    {
        Applications,
        Language,
        IdleTime,
        HotKeys,
    };

    // What the detection looks at, gathered from the environment and the session bus.
    struct Environment
    {
        QString forced = {};            // BREVONA_WAYLAND_BACKEND
        QString hyprlandSignature = {}; // HYPRLAND_INSTANCE_SIGNATURE
        QString swaySocket = {};        // SWAYSOCK
        QString currentDesktop = {};    // XDG_CURRENT_DESKTOP, a colon-separated list
        bool kwinOnBus = false;         // org.kde.KWin
        bool gnomeShellOnBus = false;   // org.gnome.Shell
    };

    // The compositor's kind: the forced one when it names one, otherwise Hyprland, sway, KDE
    // Plasma, GNOME in that order, and the generic wlroots protocols for any other.
    static Backend compositor(const Environment &environment);
    // The backend that serves `service` on that compositor; None where none is built for it. Idle
    // time is the generic idle-notification protocol's (Wlroots) on every compositor but GNOME's.
    static Backend backendFor(Service service, const Environment &environment);

    // The name BREVONA_WAYLAND_BACKEND uses for a backend, and back (nothing for an unknown name).
    static QString name(Backend backend);
    static std::optional<Backend> fromName(const QString &name);

    // The running session's environment (asks the session bus once).
    static const Environment &sessionEnvironment();

    // The session's services under Wayland, each announced in one log line. Never null.
    static ApplicationMonitor *createApplicationMonitor();
    static InputLanguageSource *createLanguageSource();
    static IdleTimeSource *createIdleTimeSource();
    static HotKeyService *createHotKeyService();
};

} // namespace brevona
