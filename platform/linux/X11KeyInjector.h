#pragma once

#include "KeyInjector.h"
#include "linux/X11AppEventConnection.h"

namespace brevona {

// Key presses through the X server's XTEST extension: the server treats them as typed, so
// passive grabs (hot keys) and the focused window get them as any keyboard's.
class X11KeyInjector : public KeyInjector
{
public:
    explicit X11KeyInjector(QString display = {});

    bool isAvailable() override;
    bool sendKey(int keyCode, bool down) override;

private:
    X11AppEventConnection m_x;
    bool m_missingLogged = false;
};

} // namespace brevona
