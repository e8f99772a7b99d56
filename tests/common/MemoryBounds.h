#pragma once

namespace nimbuscope::test {

/// AddressSanitizer keeps freed memory aside in quarantine, so a build under it peaks higher:
/// a test's memory bound is multiplied by this.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr long kSanitizerMemoryFactor = 4;
#else
inline constexpr long kSanitizerMemoryFactor = 1;
#endif

} // namespace nimbuscope::test
