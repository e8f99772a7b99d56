#pragma once

#include <QProcess>
#include <QString>

namespace nimbuscope::test {

/// A child process that holds the instance lock `name` in `runtimeFolder` while it lives.
class LockHolderProcess {
public:
    LockHolderProcess(const QString& runtimeFolder, const QString& name) {
        process_.start(QStringLiteral(NIMBUSCOPE_LOCK_HOLDER), {runtimeFolder, name});
        if (process_.waitForReadyRead(10000)) {
            held_ = process_.readLine().trimmed() == "held";
        }
    }
    ~LockHolderProcess() { kill(); }
    LockHolderProcess(const LockHolderProcess&) = delete;
    LockHolderProcess& operator=(const LockHolderProcess&) = delete;

    /// True once the child has reported that it holds the lock.
    bool held() const { return held_; }
    /// Ends the child the hard way, as a crash would.
    void kill() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }

private:
    QProcess process_;
    bool held_ = false;
};

} // namespace nimbuscope::test
