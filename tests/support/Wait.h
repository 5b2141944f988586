#pragma once

#include <chrono>
#include <utility>

#include <QtCore/qtestsupport_core.h>

namespace brevona::test {

// Runs the event loop until `done` holds or `timeout` has passed, and says whether it holds. The
// one way a test waits for anything that happens later: timers, sockets, child processes, other
// threads. The time-out only bounds a failing test; nothing is asserted about the time it took.
template<typename Predicate>
[[nodiscard]] bool waitUntil(Predicate &&done, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    return QTest::qWaitFor(std::forward<Predicate>(done), static_cast<int>(timeout.count()));
}

// Runs the event loop for a while, for checks that something did not happen (or to let queued
// events through: a zero duration runs what is pending once).
inline void settle(std::chrono::milliseconds duration)
{
    QTest::qWait(static_cast<int>(duration.count()));
}

} // namespace brevona::test
