#include "largeblocks.h"

#include <cstdlib>
#include <malloc.h>

namespace platform {

void returnLargeBlocksToSystem()
{
    if (std::getenv("MALLOC_MMAP_THRESHOLD_"))
        return;
    // A megabyte: smaller blocks, such as the trace points replaced every
    // tick, stay in the heap and cost no system call.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
}

void returnFreedMemoryToSystem()
{
    malloc_trim(0);
}

} // namespace platform
