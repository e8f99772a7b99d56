#include "noaa-sim/ConnectionDrop.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

} // namespace

bool shutdownConnection(int localPort, std::string_view remoteAddr, int remotePort) {
    const std::unique_ptr<DIR, DirClose> dir(opendir("/proc/self/fd"));
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir.get())) {
        int fd = -1;
        const char* name = entry->d_name;
        const auto [end, error] = std::from_chars(name, name + std::strlen(name), fd);
        if (error != std::errc() || *end != '\0' || fd == dirfd(dir.get()))
            continue;
        if (isConnection(fd, localPort, remoteAddr, remotePort))
            return ::shutdown(fd, SHUT_RDWR) == 0;
    }
    return false;
}

} // namespace nimbuscope::noaasim
