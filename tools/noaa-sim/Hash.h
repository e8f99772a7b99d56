#pragma once

#include <cstdint>
#include <string_view>

namespace nimbuscope::noaasim {

// Our own hashes rather than std::hash, so pictures and pages stay the same from one build
// and platform to the next.

constexpr std::uint64_t fnv1a(std::string_view text, std::uint64_t seed = 14695981039346656037ull) {
    std::uint64_t h = seed;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

constexpr std::uint64_t mix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

/// A small deterministic generator (splitmix64).
class SplitMix {
public:
    constexpr explicit SplitMix(std::uint64_t seed) : state_(seed) {}
    constexpr std::uint64_t next() { return mix64(state_++); }
    /// A value in [lo, hi].
    constexpr int between(int lo, int hi) { return lo + int(next() % std::uint64_t(hi - lo + 1)); }
    constexpr double unit() { return double(next() >> 11) / double(1ull << 53); }

private:
    std::uint64_t state_;
};

} // namespace nimbuscope::noaasim
