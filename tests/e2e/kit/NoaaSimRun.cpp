#include "e2e/kit/NoaaSimRun.h"

#include "e2e/kit/ImageCompare.h"

#include <QProcessEnvironment>

namespace nimbuscope::e2e {

namespace {

constexpr int kListeningWithinMs = 15000;
constexpr char kListening[] = "listening on ";

} // namespace

NoaaSimRun::NoaaSimRun(const QString& program, const QStringList& arguments) {
    run_ = std::make_unique<ProgramRun>(
        program, QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments,
        QProcessEnvironment::systemEnvironment());
    if (!run_->started()) {
        return;
    }
    QStringList lines;
    waitUntil(
        [&] {
            lines = QString::fromLatin1(run_->standardOutput()).split(QLatin1Char('\n'));
            return !run_->isRunning() ||
                   std::any_of(lines.begin(), lines.end(), [](const QString& line) {
                       return line.startsWith(QLatin1String(kListening));
                   });
        },
        kListeningWithinMs);
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String(kListening))) {
            baseUrl_ = line.mid(qsizetype(sizeof kListening) - 1).trimmed();
        } else if (const qsizetype at = line.indexOf(QLatin1Char('=')); at > 0) {
            settings_.insert(line.left(at), line.mid(at + 1).trimmed());
        }
    }
}

QString NoaaSimRun::registryLines() const {
    QString lines;
    for (auto it = settings_.begin(); it != settings_.end(); ++it) {
        lines += QStringLiteral("\"%1\"=\"%2\"\n").arg(it.key(), it.value());
    }
    return lines;
}

} // namespace nimbuscope::e2e
