#include "heaptuning.h"

#include <QByteArray>
#include <QList>

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace {

// glibc reads these at start; a value set by mallopt afterwards would silently replace
// the user's. The two thresholds act as a pair (setting either also stops glibc from
// moving both by itself), so a user's setting of one leaves both as glibc has them.
bool environmentSetsHeapThresholds()
{
    if (qEnvironmentVariableIsSet("MALLOC_TRIM_THRESHOLD_") || qEnvironmentVariableIsSet("MALLOC_MMAP_THRESHOLD_"))
        return true;
    // "name=value:name=value"
    for (const QByteArray &setting : qgetenv("GLIBC_TUNABLES").split(':')) {
        const QByteArray name = setting.left(setting.indexOf('='));
        if (name == "glibc.malloc.trim_threshold" || name == "glibc.malloc.mmap_threshold")
            return true;
    }
    return false;
}

} // namespace

void keepHeapForFrames()
{
#if defined(__GLIBC__) && defined(M_TRIM_THRESHOLD)
    if (environmentSetsHeapThresholds())
        return;
    // A block below 4 MB (a frame's bytes, its decoded text) comes from the heap, not
    // from a mapping of its own. The trim threshold governs only the free space at the
    // top of a heap: glibc gives that back once it reaches 8 MB. Freed blocks below the
    // top stay with the heap for reuse, as they do with the defaults.
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 8 * 1024 * 1024);
#endif
}
