#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace nimbuscope::e2e {

/// One run of a real program under test. The program dies with the test process (even
/// when the test crashes) and is killed when the object goes, if it still runs.
class ProgramRun {
public:
    ProgramRun(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    /// False when the program could not be started at all.
    bool started() const { return started_; }
    bool isRunning();
    /// Waits up to `timeoutMs` for the program to end by itself; true when it has ended.
    bool waitForEnd(int timeoutMs);
    /// True when the program returned or called exit; false while it runs or after a signal.
    bool endedNormally() const;
    int exitCode() const { return process_.exitCode(); }
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

} // namespace nimbuscope::e2e
