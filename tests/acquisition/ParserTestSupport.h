#pragma once

#include "support/Error.h"
#include "support/Log.h"
#include "support/StringUtils.h"

#include "common/FakeClock.h"
#include "common/TestWorld.h"

#include <QFile>
#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace nimbuscope::test {

/// A recorded page or list, bytes as the server sent them.
inline QByteArray fixtureBytes(const QString& name) {
    QFile f(QStringLiteral(NIMBUSCOPE_ACQUISITION_FIXTURES "/") + name);
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "missing fixture " << name.toStdString();
        return {};
    }
    return f.readAll();
}
inline QString fixtureText(const QString& name) {
    return ansiToText(fixtureBytes(name));
}
/// The rows of a golden table: one line each, its fields split at "|" and trimmed. Blank
/// lines and lines starting with "#" are skipped.
inline QList<QStringList> goldenRows(const QString& name) {
    QList<QStringList> rows;
    for (const QString& line : fixtureText(name).split(u'\n')) {
        if (!line.trimmed().isEmpty() && !line.startsWith(u'#')) {
            QStringList fields = line.split(u'|');
            for (QString& field : fields) {
                field = field.trimmed();
            }
            rows.append(fields);
        }
    }
    return rows;
}
/// A row as its golden line, for readable failures.
inline std::string goldenLine(const QStringList& fields) {
    return fields.join(QStringLiteral(" | ")).toStdString();
}

/// The number of the error `body` raises; none when it raises nothing.
inline std::optional<int> raisedNumber(const std::function<void()>& body) {
    try {
        body();
    } catch (const Error& e) {
        return e.number();
    }
    return std::nullopt;
}

/// A fresh log (debug on, error log switched on) in a private folder, and a fixed clock.
class ParserTest : public ::testing::Test {
protected:
    ParserTest() : log(clock, platform) {
        log.setFolder(world.root() + QStringLiteral("/"));
        log.debugLogOn = true;
        world.writeFile(QStringLiteral("errorlog.txt"), {});
    }

    QString errorLog() const {
        return QString::fromUtf8(world.readFile(QStringLiteral("errorlog.txt")));
    }
    /// Whether `message` was logged as a whole line.
    bool debugLogged(const QString& message) const {
        return QString::fromUtf8(world.readFile(QStringLiteral("debuglog.txt")))
            .contains(logLine(message));
    }
    bool errorLogged(const QString& message) const { return errorLog().contains(logLine(message)); }
    static QString logLine(const QString& message) { return " :: " + message + " :: \r\n"; }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    Log log;
};

} // namespace nimbuscope::test
