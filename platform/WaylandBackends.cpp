#include "WaylandBackends.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

#include "wayland/GnomeApplicationMonitor.h"
#include "wayland/GnomeIdleTimeSource.h"
#include "wayland/GnomeLanguageSource.h"
#include "wayland/HyprlandApplicationMonitor.h"
#include "wayland/HyprlandHotKeyService.h"
#include "wayland/HyprlandLanguageSource.h"
#include "wayland/KdeApplicationMonitor.h"
#include "wayland/KdeLanguageSource.h"
#include "wayland/SwayApplicationMonitor.h"
#include "wayland/SwayHotKeyService.h"
#include "wayland/SwayLanguageSource.h"
#include "wayland/UnavailableApplicationMonitor.h"
#include "wayland/UnavailableHotKeyService.h"
#include "wayland/UnavailableIdleTimeSource.h"
#include "wayland/UnavailableLanguageSource.h"
#include "wayland/WaylandIdleTimeSource.h"
#include "wayland/WaylandToplevelMonitor.h"

Q_LOGGING_CATEGORY(lcWayland, "brevona.platform.wayland")

namespace brevona {

namespace {

constexpr std::pair<WaylandBackends::Backend, const char *> kNames[] = {
    {WaylandBackends::Backend::Sway, "sway"},       {WaylandBackends::Backend::Hyprland, "hyprland"},
    {WaylandBackends::Backend::Kde, "kde"},         {WaylandBackends::Backend::Gnome, "gnome"},
    {WaylandBackends::Backend::Wlroots, "wlroots"}, {WaylandBackends::Backend::None, "none"},
};

// What each compositor's backend offers so far.
bool serves(WaylandBackends::Backend backend, WaylandBackends::Service service)
{
    using Backend = WaylandBackends::Backend;
    using Service = WaylandBackends::Service;
    switch (backend) {
    case Backend::Sway:
        return service != Service::IdleTime;
    case Backend::Wlroots:
        return service == Service::IdleTime || service == Service::Applications;
    case Backend::Hyprland:
        return service != Service::IdleTime;
    case Backend::Kde:
        return service == Service::Applications || service == Service::Language;
    case Backend::Gnome:
        return service != Service::HotKeys;
    case Backend::None:
        break;
    }
    return false;
}

bool onBus(const QString &service)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(service).value();
}

QString what(WaylandBackends::Service service)
{
    switch (service) {
    case WaylandBackends::Service::Applications:
        return QStringLiteral("running and foreground applications");
    case WaylandBackends::Service::Language:
        return QStringLiteral("input languages");
    case WaylandBackends::Service::IdleTime:
        return QStringLiteral("idle time");
    case WaylandBackends::Service::HotKeys:
        return QStringLiteral("global hot keys");
    }
    return {};
}

// The one log line per service.
WaylandBackends::Backend announce(WaylandBackends::Service service)
{
    const WaylandBackends::Environment &environment = WaylandBackends::sessionEnvironment();
    const WaylandBackends::Backend compositor = WaylandBackends::compositor(environment);
    const WaylandBackends::Backend backend = WaylandBackends::backendFor(service, environment);
    const QString how = environment.forced.isEmpty() ? QString() : QStringLiteral(" (forced)");
    if (backend != WaylandBackends::Backend::None) {
        qCInfo(lcWayland).noquote() << "Wayland session:" << what(service) << "from the"
                                    << WaylandBackends::name(backend) + how << "backend";
    } else if (service == WaylandBackends::Service::IdleTime) {
        qCInfo(lcWayland).noquote() << "Wayland session (" + WaylandBackends::name(compositor) + how +
                                           "): idle time is not available; the user always counts as active";
    } else if (service == WaylandBackends::Service::HotKeys) {
        qCInfo(lcWayland).noquote() << "Wayland session (" + WaylandBackends::name(compositor) + how +
                                           "): no global hot keys; action keys fire only for application and"
                                           " modifier keys";
    } else {
        qCInfo(lcWayland).noquote() << "Wayland session (" + WaylandBackends::name(compositor) + how + "):"
                                    << what(service) << "are not available";
    }
    return backend;
}

} // namespace

WaylandBackends::Backend WaylandBackends::compositor(const Environment &environment)
{
    if (!environment.forced.isEmpty()) {
        if (const auto forced = fromName(environment.forced))
            return *forced;
    }
    if (!environment.hyprlandSignature.isEmpty())
        return Backend::Hyprland;
    if (!environment.swaySocket.isEmpty())
        return Backend::Sway;
    const QStringList desktops = environment.currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (desktops.contains(QLatin1String("KDE"), Qt::CaseInsensitive) && environment.kwinOnBus)
        return Backend::Kde;
    if (environment.gnomeShellOnBus)
        return Backend::Gnome;
    return Backend::Wlroots;
}

WaylandBackends::Backend WaylandBackends::backendFor(Service service, const Environment &environment)
{
    const Backend backend = compositor(environment);
    // Idle notifications are one protocol that wlroots compositors, KWin and Hyprland share;
    // Mutter tells its idle time on the session bus instead.
    if (service == Service::IdleTime && backend != Backend::Gnome && backend != Backend::None)
        return Backend::Wlroots;
    return serves(backend, service) ? backend : Backend::None;
}

QString WaylandBackends::name(Backend backend)
{
    for (const auto &[value, text] : kNames) {
        if (value == backend)
            return QLatin1String(text);
    }
    return {};
}

std::optional<WaylandBackends::Backend> WaylandBackends::fromName(const QString &name)
{
    for (const auto &[value, text] : kNames) {
        if (name.compare(QLatin1String(text), Qt::CaseInsensitive) == 0)
            return value;
    }
    return std::nullopt;
}

const WaylandBackends::Environment &WaylandBackends::sessionEnvironment()
{
    static const Environment environment = [] {
        Environment result;
        result.forced = qEnvironmentVariable("BREVONA_WAYLAND_BACKEND").trimmed();
        if (!result.forced.isEmpty() && !fromName(result.forced)) {
            qCWarning(lcWayland).noquote() << "BREVONA_WAYLAND_BACKEND names no backend:" << result.forced
                                           << "(sway, hyprland, kde, gnome, wlroots, none); it is ignored";
            result.forced.clear();
        }
        result.hyprlandSignature = qEnvironmentVariable("HYPRLAND_INSTANCE_SIGNATURE");
        result.swaySocket = qEnvironmentVariable("SWAYSOCK");
        result.currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
        // The bus is asked only where the answer decides something.
        if (result.forced.isEmpty() && result.hyprlandSignature.isEmpty() && result.swaySocket.isEmpty()) {
            result.kwinOnBus = onBus(QStringLiteral("org.kde.KWin"));
            result.gnomeShellOnBus = onBus(QStringLiteral("org.gnome.Shell"));
        }
        return result;
    }();
    return environment;
}

ApplicationMonitor *WaylandBackends::createApplicationMonitor()
{
    switch (announce(Service::Applications)) {
    case Backend::Sway:
        return new SwayApplicationMonitor();
    case Backend::Hyprland:
        return new HyprlandApplicationMonitor();
    case Backend::Kde:
        return new KdeApplicationMonitor();
    case Backend::Gnome:
        return new GnomeApplicationMonitor();
    case Backend::Wlroots:
        return new WaylandToplevelMonitor();
    default:
        return new UnavailableApplicationMonitor();
    }
}

InputLanguageSource *WaylandBackends::createLanguageSource()
{
    switch (announce(Service::Language)) {
    case Backend::Sway:
        return new SwayLanguageSource();
    case Backend::Hyprland:
        return new HyprlandLanguageSource();
    case Backend::Kde:
        return new KdeLanguageSource();
    case Backend::Gnome:
        return new GnomeLanguageSource();
    default:
        return new UnavailableLanguageSource();
    }
}

IdleTimeSource *WaylandBackends::createIdleTimeSource()
{
    switch (announce(Service::IdleTime)) {
    case Backend::Wlroots:
        return new WaylandIdleTimeSource();
    case Backend::Gnome:
        return new GnomeIdleTimeSource();
    default:
        return new UnavailableIdleTimeSource();
    }
}

HotKeyService *WaylandBackends::createHotKeyService()
{
    switch (announce(Service::HotKeys)) {
    case Backend::Sway:
        return new SwayHotKeyService();
    case Backend::Hyprland:
        return new HyprlandHotKeyService();
    default:
        return new UnavailableHotKeyService();
    }
}

} // namespace brevona
