#include "e2e/kit/ProgramRun.h"

#include <csignal>
#include <sys/prctl.h>

namespace nimbuscope::e2e {

namespace {
constexpr int kStartTimeoutMs = 10000;
constexpr int kKillTimeoutMs = 10000;
} // namespace

ProgramRun::ProgramRun(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& environment) {
    process_.setProcessEnvironment(environment);
    // A test that crashes must not leave its programs running on a display that is gone.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_.start(program, arguments);
    started_ = process_.waitForStarted(kStartTimeoutMs);
}

ProgramRun::~ProgramRun() {
    kill();
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

bool ProgramRun::endedNormally() const {
    return started_ && process_.state() == QProcess::NotRunning &&
           process_.exitStatus() == QProcess::NormalExit;
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
    const QString state = !started_ ? QStringLiteral("not started: ") + process_.errorString()
                          : process_.state() != QProcess::NotRunning
                              ? QStringLiteral("still running")
                          : process_.exitStatus() == QProcess::CrashExit
                              ? QStringLiteral("killed by a signal")
                              : QStringLiteral("exit code %1").arg(process_.exitCode());
    return state + QStringLiteral("; stderr: ") + QString::fromLocal8Bit(err_);
}

void ProgramRun::collect() {
    out_ += process_.readAllStandardOutput();
    err_ += process_.readAllStandardError();
}

} // namespace nimbuscope::e2e
