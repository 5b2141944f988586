#include "DeferredCall.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QMetaObject>

#include "Logging.h"

namespace brevona {

namespace {

struct PendingCall
{
    std::uint64_t id;
    const void *target;
    QString operation;
    QVariant argument;
    std::function<void()> call;
};

struct Queue
{
    std::mutex mutex;
    std::vector<PendingCall> pending;
    std::uint64_t nextId = 1;
};

Queue &queue()
{
    static Queue instance;
    return instance;
}

// Runs the call scheduled under `id` unless it was replaced or cancelled meanwhile.
void runPending(std::uint64_t id)
{
    std::function<void()> call;
    {
        Queue &q = queue();
        std::lock_guard lock(q.mutex);
        const auto found = std::find_if(q.pending.begin(), q.pending.end(),
                                        [id](const PendingCall &p) { return p.id == id; });
        if (found == q.pending.end())
            return;
        call = std::move(found->call);
        q.pending.erase(found);
    }
    // Outside the lock: the call may schedule or cancel further calls.
    call();
}

} // namespace

void DeferredCall::performOnce(const void *target, const QString &operation, const QVariant &argument,
                               std::function<void()> call)
{
    QCoreApplication *application = QCoreApplication::instance();
    if (!application) {
        qCWarning(lcShared, "Deferred call %s dropped: no event loop", qUtf8Printable(operation));
        return;
    }
    if (!call)
        return;

    std::uint64_t id = 0;
    {
        Queue &q = queue();
        std::lock_guard lock(q.mutex);
        std::erase_if(q.pending, [&](const PendingCall &p) {
            return p.target == target && p.operation == operation && p.argument == argument;
        });
        id = q.nextId++;
        q.pending.push_back(PendingCall{id, target, operation, argument, std::move(call)});
    }
    // Queued to the application object, so the call runs on the main thread's next pass even when
    // scheduled from elsewhere.
    QMetaObject::invokeMethod(
        application, [id] { runPending(id); }, Qt::QueuedConnection);
}

void DeferredCall::cancelAll(const void *target)
{
    Queue &q = queue();
    std::lock_guard lock(q.mutex);
    std::erase_if(q.pending, [target](const PendingCall &p) { return p.target == target; });
}

int DeferredCall::pendingCount()
{
    Queue &q = queue();
    std::lock_guard lock(q.mutex);
    return static_cast<int>(q.pending.size());
}

} // namespace brevona
