#pragma once

#include "noaa-sim/FaultPlan.h"
#include "noaa-sim/FrameList.h"
#include "noaa-sim/TodayAlerts.h"
#include "noaa-sim/WmsForms.h"

#include <string>
#include <string_view>
#include <vector>

namespace nimbuscope::noaasim {

/// What the command line asks of the simulator.
struct SimOptions {
    std::string host = "127.0.0.1";
    int port = 0;              // 0: any free port
    std::string alternateHost; // another name of `host`; filled in by the parser
    int frames = kDefaultFrameCount;
    ListForm listForm = ListForm::Relative;
    std::string sitesFile;
    std::string radarListFile;
    std::string printRegFile;
    std::vector<FaultRule> faults;
    bool today = false; // serve today's forms instead of the old ones
    TimeForm timeForm = TimeForm::List;
    std::vector<AlertSpec> alerts; // today mode: issued at start
    bool help = false;
};

struct ParsedCommandLine {
    SimOptions options;
    std::string error; // empty when the command line was understood
};

/// Parses the arguments after the program name; "--name value" and "--name=value" both work.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);
std::string usageText();

/// 127.0.0.0/8 written as a dotted quad, or "localhost": the only addresses the simulator
/// binds to, so it never answers from outside the machine.
bool isLoopbackHost(std::string_view host);
/// The other loopback name the alternate region label uses: "localhost" for 127.0.0.1 and
/// "127.0.0.1" for "localhost".
std::string defaultAlternateHost(std::string_view host);

} // namespace nimbuscope::noaasim
