#pragma once

#include <QString>

#include "IdleTimeSource.h"

namespace brevona {

// Idle time from GNOME's compositor, which keeps it to itself but tells it on the session bus:
// Mutter's idle monitor (org.gnome.Mutter.IdleMonitor, /org/gnome/Mutter/IdleMonitor/Core,
// GetIdletime in milliseconds). Nothing, said once, while Mutter does not answer.
class GnomeIdleTimeSource : public IdleTimeSource
{
public:
    // `busName` empty: the session bus.
    explicit GnomeIdleTimeSource(QString busName = {});

    std::optional<quint64> idleNanoseconds() override;

private:
    QString m_busName;
    bool m_failureLogged = false;
};

} // namespace brevona
