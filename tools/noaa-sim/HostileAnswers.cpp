#include "noaa-sim/HostileAnswers.h"

#include <httplib.h>

#include <algorithm>
#include <memory>

namespace nimbuscope::noaasim {

namespace {

constexpr std::size_t kEndlessBlock = 64 * 1024;

} // namespace

void answerHostile(const Fault& fault, const httplib::Request& req, Reply reply,
                   httplib::Response& res, const HostileServer& server) {
    res.status = reply.status;
    if (fault.kind == FaultKind::Endless) {
        const auto block = std::make_shared<const std::string>(kEndlessBlock, 'x');
        const StopAwareWait wait = server.wait;
        res.set_chunked_content_provider(reply.contentType, [block, wait](std::size_t,
                                                                          httplib::DataSink& sink) {
            return sink.write(block->data(), block->size()) && wait(std::chrono::milliseconds(0));
        });
    } else if (fault.kind == FaultKind::Reset) {
        // The whole length announced, half sent, then the connection reset, not closed.
        auto body = std::make_shared<const std::string>(std::move(reply.body));
        const std::string peer = req.remote_addr;
        const int peerPort = req.remote_port, port = server.port;
        res.set_content_provider(
            body->size(), reply.contentType,
            [body, peer, peerPort, port](std::size_t, std::size_t, httplib::DataSink& sink) {
                sink.write(body->data(), body->size() / 2);
                resetOnClose(port, peer, peerPort);
                return false;
            });
    } else if (fault.kind == FaultKind::Oversized) {
        reply.body.resize(std::max(reply.body.size(), std::size_t(fault.amount)), '\0');
        res.set_content(reply.body, reply.contentType);
    } else {
        res.set_content(badListLines(server.base) + reply.body, reply.contentType);
    }
}

void answerEndlessHead(bool slow, const httplib::Request& req, httplib::Response& res,
                       const HostileServer& server) {
    const int socket = connectionSocket(server.port, req.remote_addr, req.remote_port);
    if (socket >= 0)
        sendEndlessHead(socket, slow, server.wait);
    shutdownConnection(server.port, req.remote_addr, req.remote_port);
    res.status = 0;
}

std::string badListLines(const std::string& base) {
    const std::string frame = "SI.KEAX.dd.20261205.2100.gif";
    const std::string host = base.substr(base.find("//") + 2);
    return "file:///etc/passwd.gif\n/etc/nimbuscope/" + frame +
           "\nhttp://elsewhere.invalid/radar/images/DS.p19r0/SI.KEAX/" + frame + "\nftp://" + host +
           "radar/images/DS.p19r0/SI.KEAX/" + frame + "\n" + base +
           "radar/images/DS.p19r0/SI.KEAX/..\\..\\" + frame + "\n";
}

} // namespace nimbuscope::noaasim
