#include "HotKeyService.h"

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
    // Never destroyed: the X connection must not be torn down after the event loop is gone.
    static auto *session = new X11HotKeyService();
    return *session;
}

void HotKeyService::setInstance(HotKeyService *service)
{
    g_installed = service;
}

} // namespace brevona
