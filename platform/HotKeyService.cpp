#include "HotKeyService.h"

#include "DisplaySession.h"
#include "WaylandBackends.h"
#include "linux/X11HotKeyService.h"

namespace brevona {

namespace {

HotKeyService *g_installed = nullptr;

} // namespace

HotKeyService::~HotKeyService() = default;

HotKeyService &HotKeyService::instance()
{
    if (g_installed)
        return *g_installed;
    // Never destroyed: the connection must not be torn down after the event loop is gone. Under
    // Wayland the compositor's backend answers; X11 sees only Xwayland's clients there.
    static HotKeyService *session = DisplaySession::current() == DisplaySession::Kind::Wayland
                                        ? WaylandBackends::createHotKeyService()
                                        : static_cast<HotKeyService *>(new X11HotKeyService());
    return *session;
}

void HotKeyService::setInstance(HotKeyService *service)
{
    g_installed = service;
}

} // namespace brevona
