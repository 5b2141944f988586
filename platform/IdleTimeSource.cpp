#include "IdleTimeSource.h"

#include "linux/X11IdleTimeSource.h"

namespace brevona {

namespace {

IdleTimeSource *g_installed = nullptr;

} // namespace

IdleTimeSource &IdleTimeSource::instance()
{
    if (g_installed)
        return *g_installed;
    // Never destroyed: the X connection must not be torn down after the event loop is gone.
    static auto *session = new X11IdleTimeSource();
    return *session;
}

void IdleTimeSource::setInstance(IdleTimeSource *source)
{
    g_installed = source;
}

} // namespace brevona
