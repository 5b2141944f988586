#pragma once

#include "IdleTimeSource.h"
#include "linux/X11AppEventConnection.h"

namespace brevona {

// The X server's time since the last input of any device (MIT-SCREEN-SAVER extension).
class X11IdleTimeSource : public IdleTimeSource
{
public:
    explicit X11IdleTimeSource(QString display = {});

    std::optional<quint64> idleNanoseconds() override;

private:
    X11AppEventConnection m_x11;
    bool m_missingLogged = false;
};

} // namespace brevona
