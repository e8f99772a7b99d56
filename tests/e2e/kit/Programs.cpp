#include "e2e/kit/Programs.h"

#include "e2e/kit/ImageCompare.h"

#include <QRegularExpression>
#include <QUrl>

#include <csignal>
#include <httplib.h>
#include <sys/prctl.h>

namespace nimbuscope::e2e {

namespace {
constexpr int kStartTimeoutMs = 10000;
constexpr int kKillTimeoutMs = 10000;
constexpr int kListeningWithinMs = 15000;
const QString kListening = QStringLiteral("listening on ");
} // namespace

ProgramRun::ProgramRun(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& environment) {
    process_.setProcessEnvironment(environment);
    // A test that crashes must not leave its programs running on a display that is gone.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.start(program, arguments);
    started_ = process_.waitForStarted(kStartTimeoutMs);
}

bool ProgramRun::isRunning() {
    process_.waitForFinished(0); // lets QProcess notice an end without an event loop
    return process_.state() != QProcess::NotRunning;
}

bool ProgramRun::waitForEnd(int timeoutMs) {
    if (process_.state() != QProcess::NotRunning) {
        process_.waitForFinished(timeoutMs);
    }
    collect();
    return process_.state() == QProcess::NotRunning;
}

bool ProgramRun::succeeds(int timeoutMs) {
    return started_ && waitForEnd(timeoutMs) && process_.exitStatus() == QProcess::NormalExit &&
           process_.exitCode() == 0;
}

QByteArray ProgramRun::standardOutput() {
    collect();
    return out_;
}

void ProgramRun::kill() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(kKillTimeoutMs);
    }
}

QString ProgramRun::describe() {
    collect();
    return QStringLiteral("%1, exit status %2, code %3; stderr: %4")
        .arg(process_.errorString())
        .arg(process_.state() != QProcess::NotRunning ? -1 : int(process_.exitStatus()))
        .arg(process_.exitCode())
        .arg(QString::fromLocal8Bit(err_));
}

void ProgramRun::collect() {
    out_ += process_.readAllStandardOutput();
    err_ += process_.readAllStandardError();
}

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
