#include "noaa-sim/SimClock.h"

namespace nimbuscope::noaasim {

SysSeconds SystemUtcClock::now() const {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

} // namespace nimbuscope::noaasim
