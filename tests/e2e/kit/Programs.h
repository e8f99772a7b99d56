#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <csignal>
#include <memory>
#include <string>
#include <sys/prctl.h>

namespace nimbuscope::e2e {

/// One run of a real program under test. The program dies with the test process (even
/// when the test crashes) and is killed when the object goes, if it still runs.
class ProgramRun {
public:
    ProgramRun(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        process_.setProcessEnvironment(environment);
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start(program, arguments);
        started_ = process_.waitForStarted(10000);
    }
    ~ProgramRun() { kill(); }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool isRunning() {
        process_.waitForFinished(0); // lets QProcess notice an end without an event loop
        return process_.state() != QProcess::NotRunning;
    }
    /// Whether the program ends by itself within `timeoutMs`; succeeds() also asks for status 0.
    bool waitForEnd(int timeoutMs) {
        process_.waitForFinished(isRunning() ? timeoutMs : 0);
        return !isRunning();
    }
    bool succeeds(int timeoutMs) {
        return started_ && waitForEnd(timeoutMs) && process_.exitStatus() == QProcess::NormalExit &&
               process_.exitCode() == 0;
    }
    qint64 processId() const { return process_.processId(); }
    /// Everything the program has written to its standard output so far.
    QByteArray standardOutput() {
        out_ += process_.readAllStandardOutput();
        return out_;
    }
    /// Ends the program with SIGKILL and waits for it.
    void kill() {
        if (isRunning()) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }
    /// A line for failure messages: state, exit code and the standard error so far.
    QString describe() {
        err_ += process_.readAllStandardError();
        return QStringLiteral("%1, running %2, exit status %3, code %4; stderr: %5")
            .arg(process_.errorString())
            .arg(process_.state() != QProcess::NotRunning)
            .arg(int(process_.exitStatus()))
            .arg(process_.exitCode())
            .arg(QString::fromLocal8Bit(err_));
    }

private:
    QProcess process_;
    bool started_ = false;
    QByteArray out_;
    QByteArray err_;
};

/// tools/noaa-sim started for one test on a free loopback port: the service settings it
/// printed, as registry editor lines that point the saver at it, and its control requests.
class NoaaSimRun {
public:
    NoaaSimRun(const QString& program, const QStringList& arguments);

    bool isListening() const { return port_ != 0; }
    QString describe() { return run_->describe(); }
    /// The service settings by value name ("validationServerHost" ...), and as REG_SZ lines.
    const QMap<QString, QString>& settings() const { return settings_; }
    QByteArray registryLines() const;
    /// Answers paths matching `pattern` with a fault ("drop", "delay:MS" ...) from now on;
    /// the fault set last wins where patterns overlap.
    bool fault(const std::string& pattern, const std::string& kind) const;
    /// The request log, one "PATH STATUS" line per request.
    QString requests() const;

private:
    std::unique_ptr<ProgramRun> run_;
    int port_ = 0;
    QMap<QString, QString> settings_;
};

/// Whether every line of a request log asks for one of NOAA's current forms, as the bridge
/// does.
bool onlyTodayForms(const QString& requests);

} // namespace nimbuscope::e2e
