#pragma once

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace brevona {

// Keeps callbacks and cancellation of one delegate apart across threads. A callback starts only
// when its claim (run under the gate's lock) still finds the work wanted; cancelling marks the
// work unwanted under the same lock and then waits for a callback into that delegate that is
// already running on another thread. Once cancelling returns, the delegate is never called
// again and may be destroyed. A delegate cancelling itself from inside its callback does not
// wait for itself.
class DelegateCallGate
{
public:
    // Returns whether the callback ran. An exception thrown by the callback is logged and
    // stops there.
    template<typename Claim, typename Call> bool deliver(const void *delegate, Claim &&claim, Call &&call)
    {
        {
            std::lock_guard lock(m_mutex);
            if (!claim())
                return false;
            m_running.push_back({delegate, std::this_thread::get_id()});
        }
        try {
            call();
        } catch (const std::exception &exception) {
            logException(exception.what());
        } catch (...) {
            logException("unknown exception");
        }
        finished(delegate);
        return true;
    }

    template<typename Cancel> void cancel(const void *delegate, Cancel &&cancelWork)
    {
        std::unique_lock lock(m_mutex);
        cancelWork();
        const auto self = std::this_thread::get_id();
        m_idle.wait(lock, [&] {
            return std::none_of(m_running.begin(), m_running.end(), [&](const Running &running) {
                return running.delegate == delegate && running.thread != self;
            });
        });
    }

private:
    struct Running
    {
        const void *delegate;
        std::thread::id thread;
    };

    void finished(const void *delegate);
    static void logException(const char *what);

    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::vector<Running> m_running;
};

} // namespace brevona
