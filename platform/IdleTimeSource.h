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

    // The process-wide instance: the X11 session's unless a test installed another (the caller
    // keeps ownership; nullptr returns to the X11 one). Main thread only.
    static IdleTimeSource &instance();
    static void setInstance(IdleTimeSource *source);
};

} // namespace brevona
