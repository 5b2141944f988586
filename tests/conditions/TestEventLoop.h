#pragma once

#include <chrono>
#include <functional>

#include <QCoreApplication>
#include <QElapsedTimer>

namespace brevona::test {

// Timers, socket notifiers and deferred calls need an application object on the main thread.
inline void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "brevona_conditions_tests";
    static char *argv[] = {name, nullptr};
    static auto *application = new QCoreApplication(argc, argv);
    (void)application;
}

// Runs the event loop until `done` holds or the time is up; returns `done()`.
inline bool pumpUntil(const std::function<bool()> &done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeout.count())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return done();
}

inline void pumpFor(std::chrono::milliseconds duration)
{
    pumpUntil([] { return false; }, duration);
}

} // namespace brevona::test
