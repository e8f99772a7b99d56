#include "e2e/kit/SimControl.h"

#include <httplib.h>

namespace nimbuscope::e2e {

namespace {

constexpr int kReadTimeoutSeconds = 5;

httplib::Client client(int port) {
    httplib::Client c("127.0.0.1", port);
    c.set_read_timeout(kReadTimeoutSeconds, 0);
    return c;
}

} // namespace

bool SimControl::fault(const std::string& pattern, const std::string& kind) const {
    const auto result =
        client(port_).Post("/_sim/fault", httplib::Params{{"path", pattern}, {"kind", kind}});
    return result && result->status == 200;
}

bool SimControl::post(const std::string& pathAndQuery) const {
    const auto result = client(port_).Post(pathAndQuery);
    return result && result->status == 200;
}

QStringList SimControl::requests() const {
    const auto result = client(port_).Get("/_sim/requests");
    if (!result || result->status != 200) {
        return {QStringLiteral("no request log")};
    }
    return QString::fromStdString(result->body).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool SimControl::askedFor(const std::string& part) const {
    const auto result = client(port_).Get("/_sim/requests");
    return result && result->status == 200 && result->body.find(part) != std::string::npos;
}

std::string SimControl::get(const std::string& path) const {
    const auto result = client(port_).Get(path);
    return result && result->status == 200 ? result->body : std::string();
}

} // namespace nimbuscope::e2e
