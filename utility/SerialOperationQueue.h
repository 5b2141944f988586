#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "BrevonaUtilityExport.h"

namespace brevona {

class KDNetLoadOperation;

// Runs operations one at a time, in the order they were added, on its own thread.
class BREVONAUTILITY_EXPORT SerialOperationQueue
{
public:
    SerialOperationQueue();
    // Cancels every operation, lets the running one end and waits for the thread.
    ~SerialOperationQueue();
    SerialOperationQueue(const SerialOperationQueue &) = delete;
    SerialOperationQueue &operator=(const SerialOperationQueue &) = delete;

    static constexpr int maxConcurrentOperationCount = 1;

    void addOperation(std::shared_ptr<KDNetLoadOperation> operation);
    // The running operation first, then the waiting ones.
    std::vector<std::shared_ptr<KDNetLoadOperation>> operations() const;
    // Must not be called from an operation or a delegate on the queue's thread.
    void waitUntilAllOperationsAreFinished();

private:
    void run();

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<KDNetLoadOperation>> m_waiting;
    std::shared_ptr<KDNetLoadOperation> m_running;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace brevona
