#pragma once

namespace brevona {

// The modifier keys the triggers read: which are held on the keyboard, and the session's Caps
// Lock. The process's source reads the HID watcher; tests install their own. Main thread only.
class KDKeyboardStateSource
{
public:
    virtual ~KDKeyboardStateSource();

    virtual bool altState() = 0;
    virtual bool shiftState() = 0;
    virtual bool ctrlState() = 0;
    virtual bool cmdState() = 0;
    virtual bool isCapsLocked() = 0;

    // The modifier mask of the held keys (Option, Control, Shift, Command; never Caps Lock).
    int modifierMask();

    // The HID watcher's state unless a test installed another source (the caller keeps
    // ownership; nullptr returns to the watcher's).
    static KDKeyboardStateSource &instance();
    static void setInstance(KDKeyboardStateSource *source);
};

} // namespace brevona
