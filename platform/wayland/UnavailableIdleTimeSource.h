#pragma once

#include "IdleTimeSource.h"

namespace brevona {

// A session that does not tell how long the user has been away: the user always counts as active.
class UnavailableIdleTimeSource : public IdleTimeSource
{
public:
    std::optional<quint64> idleNanoseconds() override { return std::nullopt; }
};

} // namespace brevona
