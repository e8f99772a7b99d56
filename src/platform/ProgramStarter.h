#pragma once

#include <QString>
#include <QStringList>

namespace nimbuscope {

/// Starts another program without waiting for it.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    /// Runs `program` with `arguments`, detached from this process; false when it could not
    /// be started (missing, not executable).
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
};

/// QProcess::startDetached.
class QProcessStarter final : public ProgramStarter {
public:
    bool startDetached(const QString& program, const QStringList& arguments) override;
};

} // namespace nimbuscope
