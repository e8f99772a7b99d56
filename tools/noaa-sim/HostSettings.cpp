#include "noaa-sim/HostSettings.h"

namespace nimbuscope::noaasim {

namespace {

std::string regString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

std::vector<HostSetting> hostSettings(std::string_view host, int port,
                                      std::string_view alternateHost) {
    const std::string authority = std::string(host) + ":" + std::to_string(port);
    const std::string base = "http://" + authority + "/";
    return {
        {"forecastServerURL", base},
        {"validationServerHost", authority},
        {"radarServerURL", base},
        {"alternateServerURL", base},
        // Pages link to http://host:port/radar/latest/..., so the domain marker carries the port.
        {"serviceDomain", authority},
        {"primaryRegionLabel", std::string(host)},
        {"alternateRegionLabel", std::string(alternateHost)},
    };
}

std::vector<HostSetting> bridgeSettings(std::string_view host, int port) {
    const std::string base = "http://" + std::string(host) + ":" + std::to_string(port) + "/";
    return {
        {"bridgeLocationSearchURL", base + "zipcity.php"},
        {"bridgeApiURL", base + "api/"},
        {"bridgeMapServerURL", base + "geoserver/"},
        {"bridgeStillsURL", base + "ridge/standard/"},
    };
}

std::string registryFragment(const std::vector<HostSetting>& settings) {
    std::string text =
        "Windows Registry Editor Version 5.00\n\n[" + std::string(kRegistrySection) + "]\n";
    for (const auto& s : settings)
        text += regString(s.name) + "=" + regString(s.value) + "\n";
    return text;
}

} // namespace nimbuscope::noaasim
