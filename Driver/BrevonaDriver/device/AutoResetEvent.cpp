#include "AutoResetEvent.h"

namespace brevona {

void AutoResetEvent::raise()
{
    {
        std::lock_guard guard(m_mutex);
        m_raised = true;
    }
    m_condition.notify_one();
}

void AutoResetEvent::wait()
{
    std::unique_lock lock(m_mutex);
    m_condition.wait(lock, [this] { return m_raised; });
    m_raised = false;
}

} // namespace brevona
