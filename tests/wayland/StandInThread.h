#pragma once

#include <memory>

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace brevona::test {

// A stand-in server living on a thread of its own: the backends wait for their replies, which a
// server on the test's thread could never send while they do. `Server` is made and destroyed on
// that thread; the test reaches it only through call().
template<typename Server> class StandInThread
{
public:
    StandInThread()
    {
        m_anchor.moveToThread(&m_thread);
        m_thread.start();
        run([this] { m_server = std::make_unique<Server>(); });
    }
    ~StandInThread()
    {
        run([this] { m_server.reset(); });
        m_thread.quit();
        m_thread.wait();
    }
    StandInThread(const StandInThread &) = delete;
    StandInThread &operator=(const StandInThread &) = delete;

    // Runs `action` with the server on its thread and waits for it.
    template<typename Action> auto call(Action &&action)
    {
        if constexpr (std::is_void_v<decltype(action(*m_server))>) {
            run([&] { action(*m_server); });
        } else {
            decltype(action(*m_server)) result{};
            run([&] { result = action(*m_server); });
            return result;
        }
    }

private:
    template<typename Step> void run(Step &&step)
    {
        QMetaObject::invokeMethod(&m_anchor, std::forward<Step>(step), Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QObject m_anchor;
    std::unique_ptr<Server> m_server;
};

} // namespace brevona::test
