#include "ScriptedAlerts.h"

#include <QUrlQuery>

namespace nimbuscope::test {

namespace {

constexpr int kUnavailable = 503;

} // namespace

noaasim::SysSeconds ScriptedAlerts::now() const {
    return noaasim::SysSeconds(std::chrono::seconds(utcNow_().toSecsSinceEpoch()));
}

void ScriptedAlerts::issue(const char* event, const char* severity, int minutes) {
    alerts_.issue({event, severity, minutes}, now());
}

void ScriptedAlerts::get(const BridgeGet& request, Done done) {
    requests << request.url;
    BridgeAnswer a;
    a.answered = !offline;
    if (offline) {
        a.error = QStringLiteral("Connection refused");
    } else if (failing) {
        a.status = kUnavailable;
        a.body = "{\"status\":503,\"title\":\"Service Unavailable\"}";
    } else {
        a.status = http_status::kOk;
        const QString point =
            QUrlQuery(QUrl(request.url).query()).queryItemValue(QStringLiteral("point"));
        a.body = QByteArray::fromStdString(alerts_.activeJson(point.toStdString(), now()));
    }
    done(a);
}

} // namespace nimbuscope::test
