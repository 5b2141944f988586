#pragma once

#include <functional>

#include <QString>
#include <QVariant>

namespace brevona {

// Coalesced deferred call: runs an operation once on the next pass of the main event loop.
// Scheduling the same (target, operation, argument) again before it ran replaces the pending call
// (the new function runs, in the place of the newest scheduling), so a burst of edits becomes one
// write, one refresh or one command. Needs a QCoreApplication; without one nothing is scheduled.
class DeferredCall
{
public:
    static void performOnce(const void *target, const QString &operation, const QVariant &argument,
                            std::function<void()> call);
    // Drops every pending call of a target; owners call it before they are destroyed.
    static void cancelAll(const void *target);
    static int pendingCount();
};

} // namespace brevona
