#pragma once

namespace brevona {

// The breathing highlight of a single selected key: a phase running between 1 and 15 and back,
// one step per tick, that sets the alpha of the selection colour.
class SelectionPulse
{
public:
    static constexpr int TickMs = 100;
    static constexpr int StartPhase = 13;

    // The pulse runs exactly when no mouse event is in progress, one key is selected, and the
    // view's window and the application are active.
    static bool shouldRun(bool inMouseEvent, int selectedCount, bool windowActive, bool applicationActive);

    void reset();
    void tick();
    int phase() const { return m_phase; }
    int direction() const { return m_direction; }
    // The selection colour's alpha at the current phase.
    double alpha() const;

private:
    int m_phase = StartPhase;
    int m_direction = 1;
};

} // namespace brevona
