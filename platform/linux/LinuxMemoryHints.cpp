#include "MemoryHints.h"

#include <malloc.h>

namespace brevona {

void MemoryHints::releaseFreeMemory()
{
    malloc_trim(0);
}

} // namespace brevona
