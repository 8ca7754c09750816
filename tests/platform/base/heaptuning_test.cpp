#include "sanitized.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

// The heap's thresholds cannot be read back, but their effect can: a block of 1 MB is
// mapped on its own under glibc's defaults (128 KB) and taken from the heap under
// Vantrel's (4 MB). A fresh process for each case, since glibc reads its tunables once
// at start.
TEST(HeapTuning, AUsersOwnThresholdsAreLeftAsSet)
{
    if (sanitized::Sanitized)
        GTEST_SKIP() << "AddressSanitizer's allocator stands in for glibc's";
    const struct {
        const char *variable;   // nullptr: none set
        const char *value;
        const char *block;
    } cases[] = {
        {nullptr, nullptr, "heap"},
        // Settings of other things leave Vantrel's thresholds in force.
        {"GLIBC_TUNABLES", "glibc.malloc.tcache_count=0", "heap"},
        {"GLIBC_TUNABLES", "glibc.malloc.mmap_max=65536:glibc.rtld.nns=4", "heap"},
        {"MALLOC_ARENA_MAX", "2", "heap"},
        // A user's own threshold: below the block, or only the other one, so glibc's
        // default mapping threshold stays.
        {"GLIBC_TUNABLES", "glibc.malloc.mmap_threshold=65536", "mapped"},
        {"GLIBC_TUNABLES", "glibc.malloc.tcache_count=0:glibc.malloc.trim_threshold=1048576", "mapped"},
        {"MALLOC_MMAP_THRESHOLD_", "65536", "mapped"},
        {"MALLOC_TRIM_THRESHOLD_", "1048576", "mapped"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.variable ? std::string(c.variable) + "=" + c.value : std::string("nothing set"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"GLIBC_TUNABLES", "MALLOC_TRIM_THRESHOLD_", "MALLOC_MMAP_THRESHOLD_",
                                 "MALLOC_TOP_PAD_", "MALLOC_MMAP_MAX_", "MALLOC_ARENA_MAX"})
            environment.remove(QString::fromLatin1(name));
        if (c.variable)
            environment.insert(QString::fromLatin1(c.variable), QString::fromLatin1(c.value));
        QProcess probe;
        probe.setProcessEnvironment(environment);
        probe.start(QStringLiteral(HEAPTUNING_PROBE), {});
        ASSERT_TRUE(probe.waitForFinished(60000));
        EXPECT_EQ(probe.readAllStandardOutput().trimmed().toStdString(), c.block);
    }
}

} // namespace
