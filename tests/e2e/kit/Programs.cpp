#include "e2e/kit/Programs.h"

#include "e2e/kit/ImageCompare.h"

#include <QRegularExpression>
#include <QUrl>

#include <httplib.h>

namespace nimbuscope::e2e {

namespace {
constexpr int kListeningWithinMs = 15000;
const QString kListening = QStringLiteral("listening on ");
} // namespace

NoaaSimRun::NoaaSimRun(const QString& program, const QStringList& arguments)
    : run_(std::make_unique<ProgramRun>(
          program, QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments)) {
    QStringList lines;
    waitUntil(
        [&] {
            lines = QString::fromLatin1(run_->standardOutput()).split(QLatin1Char('\n'));
            return !run_->isRunning() ||
                   std::any_of(lines.begin(), lines.end(), [](const QString& l) {
                       return l.startsWith(kListening) && l.trimmed().endsWith(QLatin1Char('/'));
                   });
        },
        kListeningWithinMs);
    for (const QString& line : lines) {
        if (line.startsWith(kListening)) {
            port_ = QUrl(line.mid(kListening.size()).trimmed()).port(0);
        } else if (const qsizetype at = line.indexOf(QLatin1Char('=')); at > 0) {
            settings_.insert(line.left(at), line.mid(at + 1).trimmed());
        }
    }
}

QByteArray NoaaSimRun::registryLines() const {
    QByteArray lines;
    for (auto it = settings_.begin(); it != settings_.end(); ++it) {
        lines += QStringLiteral("\"%1\"=\"%2\"\n").arg(it.key(), it.value()).toUtf8();
    }
    return lines;
}

bool NoaaSimRun::fault(const std::string& pattern, const std::string& kind) const {
    httplib::Client client("127.0.0.1", port_);
    const auto result =
        client.Post("/_sim/fault", httplib::Params{{"path", pattern}, {"kind", kind}});
    return result && result->status == 200;
}

QString NoaaSimRun::requests() const {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(5, 0);
    const auto result = client.Get("/_sim/requests");
    return result && result->status == 200 ? QString::fromStdString(result->body)
                                           : QStringLiteral("no request log");
}

bool onlyTodayForms(const QString& requests) {
    static const QRegularExpression form(QStringLiteral(
        R"(^\S+ /(zipcity\.php\?|api/(points|gridpoints|stations|alerts)/|geoserver/|ridge/standard/))"));
    const QStringList lines = requests.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return std::all_of(lines.begin(), lines.end(),
                       [](const QString& line) { return form.match(line).hasMatch(); });
}

} // namespace nimbuscope::e2e
