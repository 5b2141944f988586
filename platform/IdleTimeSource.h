#pragma once

#include <optional>

#include <QtGlobal>

namespace brevona {

// How long the user has not touched any input device.
class IdleTimeSource
{
public:
    virtual ~IdleTimeSource() = default;
    // Nanoseconds since the last user input; nothing when the system cannot tell.
    virtual std::optional<quint64> idleNanoseconds() = 0;

    // The process-wide instance: the session's (X11, or the Wayland compositor's backend that
    // WaylandBackends chose) unless a test installed another (the caller keeps ownership; nullptr
    // returns to the session's). Main thread only.
    static IdleTimeSource &instance();
    static void setInstance(IdleTimeSource *source);
};

} // namespace brevona
