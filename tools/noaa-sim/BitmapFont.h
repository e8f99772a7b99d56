#pragma once

#include <array>
#include <cstdint>

namespace nimbuscope::noaasim {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;

/// The rows of a 5x7 glyph, top first, bit 4 the leftmost pixel. Letters are shown in upper
/// case; characters without a glyph are blank.
std::array<std::uint8_t, kGlyphHeight> glyphRows(char c);

} // namespace nimbuscope::noaasim
