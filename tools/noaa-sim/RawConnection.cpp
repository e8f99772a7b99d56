#include "noaa-sim/RawConnection.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <string>

namespace nimbuscope::noaasim {

namespace {

struct Endpoint {
    std::string address;
    int port = -1;
};

Endpoint endpointOf(const sockaddr_storage& storage) {
    char text[INET6_ADDRSTRLEN] = {};
    if (storage.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        return {text, ntohs(in->sin_port)};
    }
    if (storage.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        return {text, ntohs(in6->sin6_port)};
    }
    return {};
}

bool isConnection(int fd, int localPort, std::string_view remoteAddr, int remotePort) {
    sockaddr_storage local{}, peer{};
    socklen_t localSize = sizeof local, peerSize = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0)
        return false;
    const Endpoint here = endpointOf(local), there = endpointOf(peer);
    return here.port == localPort && there.port == remotePort && there.address == remoteAddr;
}

struct DirClose {
    void operator()(DIR* dir) const { closedir(dir); }
};

// Sends all of `data` without blocking the server's stop; false when the peer is gone or
// the server stops.
bool sendAll(int fd, std::string_view data, const StopAwareWait& wait) {
    constexpr auto kRetry = std::chrono::milliseconds(10);
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data.remove_prefix(std::size_t(n));
        } else if ((errno != EAGAIN && errno != EWOULDBLOCK) || !wait(kRetry)) {
            return false;
        }
    }
    return true;
}

} // namespace

int connectionSocket(int localPort, std::string_view remoteAddr, int remotePort) {
    const std::unique_ptr<DIR, DirClose> dir(opendir("/proc/self/fd"));
    if (!dir)
        return -1;
    while (const dirent* entry = readdir(dir.get())) {
        int fd = -1;
        const char* name = entry->d_name;
        const auto [end, error] = std::from_chars(name, name + std::strlen(name), fd);
        if (error != std::errc() || *end != '\0' || fd == dirfd(dir.get()))
            continue;
        if (isConnection(fd, localPort, remoteAddr, remotePort))
            return fd;
    }
    return -1;
}

bool shutdownConnection(int localPort, std::string_view remoteAddr, int remotePort) {
    const int fd = connectionSocket(localPort, remoteAddr, remotePort);
    return fd >= 0 && ::shutdown(fd, SHUT_RDWR) == 0;
}

bool resetOnClose(int localPort, std::string_view remoteAddr, int remotePort) {
    const int fd = connectionSocket(localPort, remoteAddr, remotePort);
    const linger abortive{1, 0};
    return fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive) == 0;
}

void sendEndlessHead(int socket, bool slow, const StopAwareWait& wait) {
    constexpr int kFieldsAtOnce = 64;
    constexpr std::size_t kValueLength = 100;
    if (!sendAll(socket, "HTTP/1.1 200 OK\r\n", wait))
        return;
    const std::string value(kValueLength, 'a');
    for (long field = 0;; field += kFieldsAtOnce) {
        std::string piece;
        if (slow) {
            if (!wait(std::chrono::seconds(1)))
                return;
            piece = "X";
        } else {
            for (int k = 0; k < kFieldsAtOnce; ++k)
                piece += "X-Bomb-" + std::to_string(field + k) + ": " + value + "\r\n";
        }
        if (!sendAll(socket, piece, wait))
            return;
    }
}

} // namespace nimbuscope::noaasim
