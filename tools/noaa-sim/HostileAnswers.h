#pragma once

#include "noaa-sim/FaultPlan.h"
#include "noaa-sim/NoaaSite.h"
#include "noaa-sim/RawConnection.h"

#include <string>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace nimbuscope::noaasim {

/// What the hostile answers need of the server.
struct HostileServer {
    int port = 0;
    std::string base; ///< "http://127.0.0.1:PORT/"
    StopAwareWait wait;
};

/// The answers of a server that means harm, given the normal `reply`: "endless",
/// "oversized:N", "reset" and "bad-lines".
void answerHostile(const Fault& fault, const httplib::Request& req, Reply reply,
                   httplib::Response& res, const HostileServer& server);

/// "header-bomb" or, when `slow`, "slow-headers": written straight to the connection, which is
/// shut down once the peer has gone or the server stops.
void answerEndlessHead(bool slow, const httplib::Request& req, httplib::Response& res,
                       const HostileServer& server);

/// List lines that name no frame of the server at `base`: other schemes and hosts, a bare
/// path, and a name on this server that would leave the saver's cache folder.
std::string badListLines(const std::string& base);

} // namespace nimbuscope::noaasim
