#include "SSHidIdleTime.h"

#include <limits>

#include "IdleTimeSource.h"

namespace brevona {

SSHidIdleTime::SSHidIdleTime(IdleTimeSource &source)
    : m_source(source)
{}

SSHidIdleTime::SSHidIdleTime()
    : SSHidIdleTime(IdleTimeSource::instance())
{}

quint64 SSHidIdleTime::idleTime() const
{
    return m_source.idleNanoseconds().value_or(0);
}

quint32 SSHidIdleTime::idleTimeInSeconds() const
{
    const quint64 seconds = idleTime() / 1'000'000'000ULL;
    return seconds > std::numeric_limits<quint32>::max() ? std::numeric_limits<quint32>::max()
                                                         : static_cast<quint32>(seconds);
}

} // namespace brevona
