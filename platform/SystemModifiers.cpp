#include "SystemModifiers.h"

#include "linux/X11SystemModifiers.h"

namespace brevona {

namespace {

SystemModifiers *g_installed = nullptr;

} // namespace

SystemModifiers::~SystemModifiers() = default;

SystemModifiers &SystemModifiers::instance()
{
    if (g_installed)
        return *g_installed;
    // Never destroyed: the X connection must not be torn down after the event loop is gone.
    static auto *session = new X11SystemModifiers();
    return *session;
}

void SystemModifiers::setInstance(SystemModifiers *modifiers)
{
    g_installed = modifiers;
}

} // namespace brevona
