#pragma once

#include <functional>
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
        m_thread.start();
        call([this](Server &) {});
    }
    ~StandInThread()
    {
        QMetaObject::invokeMethod(
            m_anchor.get(), [this] { m_server.reset(); }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        m_anchor.reset();
    }
    StandInThread(const StandInThread &) = delete;
    StandInThread &operator=(const StandInThread &) = delete;

    // Runs `action` with the server on its thread and waits for it.
    template<typename Action> auto call(Action &&action)
    {
        if (!m_anchor) {
            m_anchor = std::make_unique<QObject>();
            m_anchor->moveToThread(&m_thread);
            QMetaObject::invokeMethod(
                m_anchor.get(), [this] { m_server = std::make_unique<Server>(); },
                Qt::BlockingQueuedConnection);
        }
        using Result = decltype(action(*m_server));
        if constexpr (std::is_void_v<Result>) {
            QMetaObject::invokeMethod(
                m_anchor.get(), [&] { action(*m_server); }, Qt::BlockingQueuedConnection);
        } else {
            Result result{};
            QMetaObject::invokeMethod(
                m_anchor.get(), [&] { result = action(*m_server); }, Qt::BlockingQueuedConnection);
            return result;
        }
    }

private:
    QThread m_thread;
    std::unique_ptr<QObject> m_anchor;
    std::unique_ptr<Server> m_server;
};

} // namespace brevona::test
