#pragma once

namespace brevona {

// Hints to the allocator about the program's memory.
class MemoryHints
{
public:
    // Gives memory freed after a burst of large allocations (loading a store of pictures) back
    // to the system.
    static void releaseFreeMemory();
};

} // namespace brevona
