#include "DisplaySession.h"

namespace brevona {

DisplaySession::Kind DisplaySession::current()
{
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland"))
        return Kind::Wayland;
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        return Kind::X11;
    return Kind::None;
}

std::optional<QString> DisplaySession::x11Unavailable(const QString &display)
{
    if (!display.isEmpty())
        return std::nullopt;
    switch (current()) {
    case Kind::X11:
        return std::nullopt;
    case Kind::Wayland:
        return QStringLiteral("Wayland session");
    case Kind::None:
        break;
    }
    return QStringLiteral("No X display");
}

} // namespace brevona
