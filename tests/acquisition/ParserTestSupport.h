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

    QString debugLog() const {
        return QString::fromUtf8(world.readFile(QStringLiteral("debuglog.txt")));
    }
    QString errorLog() const {
        return QString::fromUtf8(world.readFile(QStringLiteral("errorlog.txt")));
    }
    /// Where `message` was logged as a whole line; -1 when it was not.
    static qsizetype lineAt(const QString& logText, const QString& message) {
        return logText.indexOf(QStringLiteral(" :: ") + message + QStringLiteral(" :: \r\n"));
    }
    bool debugLogged(const QString& message) const { return lineAt(debugLog(), message) >= 0; }
    bool errorLogged(const QString& message) const { return lineAt(errorLog(), message) >= 0; }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    Log log;
};

} // namespace nimbuscope::test
