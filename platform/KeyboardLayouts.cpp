#include "KeyboardLayouts.h"

#include <atomic>

#include "linux/XkbKeyboardLayouts.h"

namespace brevona {

namespace {

std::atomic<KeyboardLayouts *> g_installed = nullptr;

} // namespace

KeyboardLayouts::~KeyboardLayouts() = default;

KeyboardLayouts &KeyboardLayouts::instance()
{
    if (KeyboardLayouts *installed = g_installed.load())
        return *installed;
    // Never destroyed: worker threads may translate keys while the process ends.
    static auto *system = new XkbKeyboardLayouts();
    return *system;
}

void KeyboardLayouts::setInstance(KeyboardLayouts *layouts)
{
    g_installed = layouts;
}

} // namespace brevona
