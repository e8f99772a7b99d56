#pragma once

#include "e2e/kit/ProgramRun.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>

namespace nimbuscope::e2e {

/// tools/noaa-sim started for one test on a free loopback port: the service settings it
/// printed, and a registry editor file that points the saver at it.
class NoaaSimRun {
public:
    /// Starts `program` with `arguments` added to "--port 0" and waits for it to listen.
    NoaaSimRun(const QString& program, const QStringList& arguments = {});

    /// False when it did not come up; describe() says why.
    bool isListening() const { return !baseUrl_.isEmpty(); }
    QString describe() { return run_ ? run_->describe() : QStringLiteral("not started"); }
    /// "http://127.0.0.1:PORT/"
    const QString& baseUrl() const { return baseUrl_; }
    /// The seven service settings by value name ("validationServerHost" ...).
    const QMap<QString, QString>& settings() const { return settings_; }
    /// The settings as REG_SZ lines of a registry editor file, one per line.
    QString registryLines() const;

private:
    std::unique_ptr<ProgramRun> run_;
    QString baseUrl_;
    QMap<QString, QString> settings_;
};

} // namespace nimbuscope::e2e
