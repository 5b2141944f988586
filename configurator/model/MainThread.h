#pragma once

#include <functional>

namespace brevona {

// The model's observers and plugins' reports belong to the main thread; work finished on a worker
// or a plugin's thread is carried there with these.
class MainThread
{
public:
    // True on the application's thread, and when there is no application at all.
    static bool isCurrent();
    // Runs `call` on the main thread's next event-loop pass. False (the call is dropped) without
    // an application object.
    static bool post(std::function<void()> call);
};

} // namespace brevona
