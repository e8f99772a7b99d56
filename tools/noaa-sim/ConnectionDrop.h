#pragma once

#include <string_view>

namespace nimbuscope::noaasim {

/// Shuts down this process's TCP connection from localPort to remoteAddr:remotePort, so the
/// peer sees it closed before any answer. The HTTP library owns the socket and closes it
/// itself; a shut-down socket just makes its later writes fail. False when no such
/// connection was found.
bool shutdownConnection(int localPort, std::string_view remoteAddr, int remotePort);

} // namespace nimbuscope::noaasim
