#pragma once

// Under AddressSanitizer (tools/sanitize.sh) every allocation carries a shadow, freed
// blocks wait in a quarantine before they are reused, and a debug build runs several
// times slower. A test that bounds memory or waits for a volume of work to finish
// widens its bound by these, and only there.
//
//     EXPECT_LT(grownKb, LimitKb + (Sanitized ? AsanQuarantineKb : 0));
//     ASSERT_TRUE(waitUntil(done, 30000 * SlowFactor));

namespace sanitized {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool Sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool Sanitized = true;
#else
constexpr bool Sanitized = false;
#endif
#else
constexpr bool Sanitized = false;
#endif

// What ASan may hold of freed memory by default (quarantine_size_mb=256).
constexpr long AsanQuarantineKb = 256L * 1024;

constexpr int SlowFactor = Sanitized ? 5 : 1;

} // namespace sanitized
