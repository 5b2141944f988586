#include "IdleTimeSource.h"

#include "DisplaySession.h"
#include "WaylandBackends.h"
#include "linux/X11IdleTimeSource.h"

namespace brevona {

namespace {

IdleTimeSource *g_installed = nullptr;

} // namespace

IdleTimeSource &IdleTimeSource::instance()
{
    if (g_installed)
        return *g_installed;
    // Never destroyed: the connection must not be torn down after the event loop is gone. Under
    // Wayland the compositor's backend answers; X11 sees only Xwayland's clients there.
    static IdleTimeSource *session = DisplaySession::current() == DisplaySession::Kind::Wayland
                                         ? WaylandBackends::createIdleTimeSource()
                                         : static_cast<IdleTimeSource *>(new X11IdleTimeSource());
    return *session;
}

void IdleTimeSource::setInstance(IdleTimeSource *source)
{
    g_installed = source;
}

} // namespace brevona
