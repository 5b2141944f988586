#pragma once

#include <condition_variable>
#include <mutex>

namespace brevona {

// A signal that wakes one waiter once: raising it while nobody waits lets the next wait return at
// once, and every wake-up resets it.
class AutoResetEvent
{
public:
    void raise();
    void wait();

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_raised = false;
};

} // namespace brevona
