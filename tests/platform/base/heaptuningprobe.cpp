// Sets the heap up as Vantrel does at start, then says whether a block of 1 MB was
// mapped on its own ("mapped") or taken from the heap ("heap").
#include "heaptuning.h"

#include <malloc.h>

#include <cstdio>
#include <cstdlib>

namespace {
void *volatile kept;   // so the block is really allocated
}

int main()
{
    keepHeapForFrames();
    const size_t mappedBefore = mallinfo2().hblks;
    kept = std::malloc(1024 * 1024);
    const bool mapped = mallinfo2().hblks > mappedBefore;
    std::free(kept);
    std::puts(mapped ? "mapped" : "heap");
    return 0;
}
