// noaa-sim: answers on loopback in the forms of NOAA's old location pages, radar loop lists
// and radar frames, or (--today) in the forms of NOAA's current services, so the saver can be
// run and tested without the real service.

#include "noaa-sim/HostSettings.h"
#include "noaa-sim/SimOptions.h"
#include "noaa-sim/SimServer.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <sstream>

using namespace nimbuscope::noaasim;

namespace {

bool readFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    text = bytes.str();
    return in.good() || in.eof();
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return bool(out);
}

bool loadRadarList(const std::string& path, SiteTable& sites) {
    std::string text;
    if (!readFile(path, text) || sites.addRadarList(text) < 1) {
        std::cerr << "noaa-sim: cannot read a radar site list from " << path << "\n";
        return false;
    }
    return true;
}

bool loadSites(const std::string& path, SiteTable& sites) {
    std::string text;
    if (!readFile(path, text) || sites.addTsv(text) < 0) {
        std::cerr << "noaa-sim: cannot read a site table (site, city, state, zip columns) from "
                  << path << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const auto parsed = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty() || parsed.options.help) {
        (parsed.options.help ? std::cout : std::cerr)
            << (parsed.error.empty() ? "" : "noaa-sim: " + parsed.error + "\n") << usageText();
        return parsed.error.empty() ? 0 : 2;
    }
    const SimOptions& options = parsed.options;
    SiteTable sites = SiteTable::builtIn();
    if (!options.sitesFile.empty() && !loadSites(options.sitesFile, sites))
        return 1;
    if (!options.radarListFile.empty() && !loadRadarList(options.radarListFile, sites))
        return 1;

    // The workers inherit this mask, so only sigwait below sees the signals that end us.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

    SystemUtcClock clock;
    SimServer server(options, std::move(sites), clock);
    std::string error;
    if (!server.start(error)) {
        std::cerr << "noaa-sim: " << error << "\n";
        return 1;
    }
    const auto settings = options.today
                              ? bridgeSettings(options.host, server.port())
                              : hostSettings(options.host, server.port(), options.alternateHost);
    if (!options.printRegFile.empty() &&
        !writeFile(options.printRegFile, registryFragment(settings))) {
        std::cerr << "noaa-sim: cannot write " << options.printRegFile << "\n";
        return 1;
    }
    for (const auto& s : settings)
        std::cout << s.name << "=" << s.value << "\n";
    std::cout << "listening on " << server.baseUrl() << std::endl;

    int signal = 0;
    sigwait(&endSignals, &signal);
    server.stop();
    return 0;
}
