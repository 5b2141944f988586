#include "ApplicationMonitor.h"

#include "DisplaySession.h"
#include "WaylandBackends.h"
#include "linux/X11ApplicationMonitor.h"

namespace brevona {

namespace {

ApplicationMonitor *g_installed = nullptr;

} // namespace

ApplicationMonitor::~ApplicationMonitor() = default;

ApplicationMonitor &ApplicationMonitor::instance()
{
    if (g_installed)
        return *g_installed;
    // Never destroyed: the connection must not be torn down after the event loop is gone. Under
    // Wayland the compositor's backend answers; X11 sees only Xwayland's clients there.
    static ApplicationMonitor *session = DisplaySession::current() == DisplaySession::Kind::Wayland
                                             ? WaylandBackends::createApplicationMonitor()
                                             : static_cast<ApplicationMonitor *>(new X11ApplicationMonitor());
    return *session;
}

void ApplicationMonitor::setInstance(ApplicationMonitor *monitor)
{
    g_installed = monitor;
}

} // namespace brevona
