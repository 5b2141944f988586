#include "ApplicationMonitor.h"

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
    // Never destroyed: the X connection must not be torn down after the event loop is gone.
    static auto *session = new X11ApplicationMonitor();
    return *session;
}

void ApplicationMonitor::setInstance(ApplicationMonitor *monitor)
{
    g_installed = monitor;
}

} // namespace brevona
