#pragma once

#include <chrono>
#include <functional>
#include <string_view>

namespace nimbuscope::noaasim {

// The HTTP library owns each connection's socket and closes it itself. These reach the
// socket of one connection, found by its ends, for answers the library cannot give.

/// The socket of this process's TCP connection from localPort to remoteAddr:remotePort;
/// -1 when there is none.
int connectionSocket(int localPort, std::string_view remoteAddr, int remotePort);

/// Shuts the connection down, so the peer sees it closed before any answer; the library's
/// later writes just fail. False when no such connection was found.
bool shutdownConnection(int localPort, std::string_view remoteAddr, int remotePort);

/// Makes the library's close of the connection a reset (RST) instead of an orderly end.
bool resetOnClose(int localPort, std::string_view remoteAddr, int remotePort);

/// Waits up to the given time; false when the server is stopping.
using StopAwareWait = std::function<bool(std::chrono::milliseconds)>;

/// Writes an answer whose head never ends: a status line, then header fields as fast as the
/// peer takes them (a header bomb) or, when `slow`, one byte a second. Returns when the peer
/// goes away or the server stops; the caller then shuts the connection down.
void sendEndlessHead(int socket, bool slow, const StopAwareWait& wait);

} // namespace nimbuscope::noaasim
