#pragma once

#include <QtGlobal>

namespace brevona {

class IdleTimeSource;

// How long the user has not touched any input device. Where the system cannot tell, the idle time
// reads as 0: the user always counts as active.
class SSHidIdleTime
{
public:
    explicit SSHidIdleTime(IdleTimeSource &source);
    SSHidIdleTime();

    // Nanoseconds since the last user input.
    quint64 idleTime() const;
    // Whole seconds, rounded down; an idle time beyond the 32-bit range reads as its largest value.
    quint32 idleTimeInSeconds() const;

private:
    IdleTimeSource &m_source;
};

} // namespace brevona
