#include "DelegateCallGate.h"

#include "UtilityLogging.h"

namespace brevona {

void DelegateCallGate::finished(const void *delegate)
{
    {
        std::lock_guard lock(m_mutex);
        const auto self = std::this_thread::get_id();
        const auto it = std::find_if(m_running.begin(), m_running.end(), [&](const Running &running) {
            return running.delegate == delegate && running.thread == self;
        });
        if (it != m_running.end())
            m_running.erase(it);
    }
    m_idle.notify_all();
}

void DelegateCallGate::logException(const char *what)
{
    qCWarning(lcUtility, "download delegate failed: %s", what);
}

} // namespace brevona
