#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbuscope::noaasim {

inline constexpr std::string_view kRegistrySection =
    "HKEY_CURRENT_USER\\Software\\Calderwick\\Nimbuscope";

/// One of the saver's service-address settings, by its registry value name.
struct HostSetting {
    std::string name;
    std::string value;
};

/// The seven values that point the saver at a simulator on host:port, with `alternateHost`
/// as the alternate region label (another name of the same loopback address).
std::vector<HostSetting> hostSettings(std::string_view host, int port,
                                      std::string_view alternateHost);

/// The four addresses of NOAA's current services, pointed at a simulator in today mode on
/// host:port; the saver's own service settings stay at NOAA's old addresses.
std::vector<HostSetting> bridgeSettings(std::string_view host, int port);

/// A registry editor file setting those values under kRegistrySection.
std::string registryFragment(const std::vector<HostSetting>& settings);

} // namespace nimbuscope::noaasim
