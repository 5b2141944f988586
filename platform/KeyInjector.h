#pragma once

#include <memory>

#include <QString>

namespace brevona {

// Key presses made up for the user's session, as if typed on a keyboard: the simulated keyboard's
// keys reach the session's windows and hot keys this way, as the real keyboard's do.
class KeyInjector
{
public:
    virtual ~KeyInjector() = default;
    // Whether presses can be made (a session that takes them); says why not once in the log.
    virtual bool isAvailable() = 0;
    // The key of `keyCode` (the keyboard data's "Char") goes down or up; false when the session
    // did not take it. Returns once the session has it.
    virtual bool sendKey(int keyCode, bool down) = 0;

    // The session's injector (X11 through XTEST); `display` empty: the session's own.
    static std::unique_ptr<KeyInjector> create(const QString &display = {});
};

} // namespace brevona
