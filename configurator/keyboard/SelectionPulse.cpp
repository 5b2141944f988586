#include "SelectionPulse.h"

#include <cmath>
#include <numbers>

namespace brevona {

bool SelectionPulse::shouldRun(bool inMouseEvent, int selectedCount, bool windowActive,
                               bool applicationActive)
{
    return !inMouseEvent && selectedCount == 1 && windowActive && applicationActive;
}

void SelectionPulse::reset()
{
    m_phase = StartPhase;
    m_direction = 1;
}

void SelectionPulse::tick()
{
    m_phase += m_direction;
    if (m_phase >= 15)
        m_direction = -1;
    else if (m_phase < 1)
        m_direction = 1;
}

double SelectionPulse::alpha() const
{
    return std::sin(m_phase * std::numbers::pi / 15.0) / 1.7 + 0.4;
}

} // namespace brevona
