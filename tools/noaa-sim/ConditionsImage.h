#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nimbuscope::noaasim {

inline constexpr int kConditionsWidth = 55;
inline constexpr int kConditionsHeight = 58;

/// The 55x58 JPEG picture of a weather code ("sct", "ra" ...), or nothing for an unknown code.
std::optional<std::string> conditionsJpeg(std::string_view code);

} // namespace nimbuscope::noaasim
