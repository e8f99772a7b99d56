#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

namespace nimbuscope::e2e {

/// One run of a real program under test. The program dies with the test process (even
/// when the test crashes) and is killed when the object goes, if it still runs.
class ProgramRun {
public:
    ProgramRun(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    ~ProgramRun() { kill(); }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    bool started() const { return started_; }
    bool isRunning();
    /// Whether the program ends by itself within `timeoutMs`; succeeds() also asks for status 0.
    bool waitForEnd(int timeoutMs);
    bool succeeds(int timeoutMs);
    qint64 processId() const { return process_.processId(); }
    /// Everything the program has written to its standard output so far.
    QByteArray standardOutput();
    /// Ends the program with SIGKILL and waits for it.
    void kill();
    /// A line for failure messages: state, exit code and the standard error so far.
    QString describe();

private:
    void collect();

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
