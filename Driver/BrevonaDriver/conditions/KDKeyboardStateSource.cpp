#include "KDKeyboardStateSource.h"

#include "ConditionKeys.h"
#include "IOHIDWatcher.h"
#include "SystemModifiers.h"

namespace brevona {

namespace {

// The keyboard as the HID watcher sees it. Without a watcher (no input devices can be watched)
// no key counts as held, and Caps Lock comes from the session alone.
class WatcherState : public KDKeyboardStateSource
{
public:
    bool altState() override { return watcher() && watcher()->altState(); }
    bool shiftState() override { return watcher() && watcher()->shiftState(); }
    bool ctrlState() override { return watcher() && watcher()->ctrlState(); }
    bool cmdState() override { return watcher() && watcher()->cmdState(); }
    bool isCapsLocked() override
    {
        if (IOHIDWatcher *hid = watcher())
            return hid->isCapsLocked();
        return SystemModifiers::instance().isCapsLocked().value_or(false);
    }

private:
    static IOHIDWatcher *watcher() { return IOHIDWatcher::sharedIOHIDWatcher(); }
};

KDKeyboardStateSource *g_installed = nullptr;

} // namespace

KDKeyboardStateSource::~KDKeyboardStateSource() = default;

int KDKeyboardStateSource::modifierMask()
{
    namespace ck = conditionkeys;
    int mask = 0;
    if (altState())
        mask |= ck::OptionMask;
    if (ctrlState())
        mask |= ck::ControlMask;
    if (shiftState())
        mask |= ck::ShiftMask;
    if (cmdState())
        mask |= ck::CommandMask;
    return mask;
}

KDKeyboardStateSource &KDKeyboardStateSource::instance()
{
    if (g_installed)
        return *g_installed;
    static WatcherState watcherState;
    return watcherState;
}

void KDKeyboardStateSource::setInstance(KDKeyboardStateSource *source)
{
    g_installed = source;
}

} // namespace brevona
