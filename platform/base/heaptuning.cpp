#include "heaptuning.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

void keepHeapForFrames()
{
#if defined(__GLIBC__) && defined(M_TRIM_THRESHOLD)
    // An ordinary frame and its decoded text stay below the mapping threshold, and what
    // they free stays below the trim threshold: at most 8 MB is kept that the task no
    // longer uses.
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
#endif
}
