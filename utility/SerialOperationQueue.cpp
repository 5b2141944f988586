#include "SerialOperationQueue.h"

#include "KDNetLoadOperation.h"

namespace brevona {

SerialOperationQueue::SerialOperationQueue()
    : m_thread([this] { run(); })
{}

SerialOperationQueue::~SerialOperationQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        if (m_running)
            m_running->cancel();
        for (const auto &operation : m_waiting)
            operation->cancel();
    }
    m_changed.notify_all();
    m_thread.join();
}

void SerialOperationQueue::addOperation(std::shared_ptr<KDNetLoadOperation> operation)
{
    if (!operation)
        return;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping)
            operation->cancel();
        m_waiting.push_back(std::move(operation));
    }
    m_changed.notify_all();
}

std::vector<std::shared_ptr<KDNetLoadOperation>> SerialOperationQueue::operations() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::shared_ptr<KDNetLoadOperation>> all;
    all.reserve(m_waiting.size() + 1);
    if (m_running)
        all.push_back(m_running);
    all.insert(all.end(), m_waiting.begin(), m_waiting.end());
    return all;
}

void SerialOperationQueue::waitUntilAllOperationsAreFinished()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_waiting.empty() && !m_running; });
}

void SerialOperationQueue::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
        if (m_waiting.empty())
            return;
        m_running = std::move(m_waiting.front());
        m_waiting.pop_front();
        const std::shared_ptr<KDNetLoadOperation> operation = m_running;
        lock.unlock();
        // Cancelled operations still pass through start, which ends them at once.
        operation->start();
        lock.lock();
        m_running.reset();
        m_changed.notify_all();
    }
}

} // namespace brevona
