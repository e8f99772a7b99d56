#pragma once

#include "e2e/kit/ProgramRun.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

namespace nimbuscope::e2e {

/// tools/noaa-sim started for one test on a free loopback port: the service settings it
/// printed, a registry editor file's lines that point the saver at it, and its control
/// requests.
class NoaaSimRun {
public:
    /// Starts `program` with `arguments` added to "--port 0" and waits for it to listen.
    NoaaSimRun(const QString& program, const QStringList& arguments = {});

    /// False when it did not come up; describe() says why.
    bool isListening() const { return port_ != 0; }
    QString describe() { return run_ ? run_->describe() : QStringLiteral("not started"); }
    /// The service settings by value name ("validationServerHost" ...).
    const QMap<QString, QString>& settings() const { return settings_; }
    /// The settings as REG_SZ lines of a registry editor file, one per line.
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
