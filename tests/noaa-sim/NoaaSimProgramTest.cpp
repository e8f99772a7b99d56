#include <httplib.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString programPath() {
    return QStringLiteral(NOAA_SIM_PROGRAM);
}

// Reads stdout lines until "listening on ..." (or the program ends).
QStringList readUntilListening(QProcess& sim) {
    QStringList lines;
    while (lines.isEmpty() || !lines.last().startsWith(QStringLiteral("listening on "))) {
        if (!sim.canReadLine() && !sim.waitForReadyRead(10000))
            break;
        while (sim.canReadLine())
            lines << QString::fromLatin1(sim.readLine()).trimmed();
    }
    return lines;
}

} // namespace

TEST(NoaaSimProgram, PrintsTheSettingsServesAndEndsCleanlyOnSigterm) {
    QTemporaryDir dir;
    const QString reg = dir.filePath(QStringLiteral("sim.reg"));
    QProcess sim;
    sim.start(programPath(),
              {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--print-reg"), reg});
    ASSERT_TRUE(sim.waitForStarted()) << programPath().toStdString();
    const QStringList lines = readUntilListening(sim);
    ASSERT_EQ(lines.size(), 8) << lines.join(QLatin1Char('|')).toStdString();
    const QString base = lines.last().mid(QStringLiteral("listening on ").size());
    ASSERT_TRUE(base.startsWith(QStringLiteral("http://127.0.0.1:")) &&
                base.endsWith(QLatin1Char('/')));
    const int port = base.mid(17).chopped(1).toInt();
    EXPECT_EQ(lines[0], QStringLiteral("forecastServerURL=") + base);
    EXPECT_EQ(lines[1], QStringLiteral("validationServerHost=127.0.0.1:%1").arg(port));
    EXPECT_EQ(lines[6], QStringLiteral("alternateRegionLabel=localhost"));

    QFile regFile(reg);
    ASSERT_TRUE(regFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(regFile.readAll().contains(
        QStringLiteral("\"radarServerURL\"=\"%1\"").arg(base).toLatin1()));

    httplib::Client client("127.0.0.1", port);
    const auto r = client.Get("/zipcity.php?inputstring=80301");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);

    sim.terminate(); // SIGTERM
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
}

TEST(NoaaSimProgram, InTodayModeSetsOnlyTheFourBridgeAddresses) {
    QTemporaryDir dir;
    const QString reg = dir.filePath(QStringLiteral("today.reg"));
    QProcess sim;
    sim.start(programPath(), {QStringLiteral("--today"), QStringLiteral("--print-reg"), reg});
    ASSERT_TRUE(sim.waitForStarted());
    const QStringList lines = readUntilListening(sim);
    ASSERT_EQ(lines.size(), 5) << lines.join(QLatin1Char('|')).toStdString();
    const QString base = lines.last().mid(QStringLiteral("listening on ").size());
    QFile regFile(reg);
    ASSERT_TRUE(regFile.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(regFile.readAll());
    EXPECT_EQ(text.count(QStringLiteral("\"=\"")), 4) << text.toStdString();
    for (const auto& [name, path] :
         {std::pair{"bridgeLocationSearchURL", "zipcity.php"}, std::pair{"bridgeApiURL", "api/"},
          std::pair{"bridgeMapServerURL", "geoserver/"},
          std::pair{"bridgeStillsURL", "ridge/standard/"}})
        EXPECT_TRUE(text.contains(
            QStringLiteral("\"%1\"=\"%2%3\"").arg(QLatin1String(name), base, QLatin1String(path))))
            << name;
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
}

TEST(NoaaSimProgram, RefusesABadCommandLineWithTheUsage) {
    QProcess sim;
    sim.start(programPath(), {QStringLiteral("--host"), QStringLiteral("0.0.0.0")});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 2);
    const QByteArray err = sim.readAllStandardError();
    EXPECT_TRUE(err.contains("loopback")) << err.toStdString();
    EXPECT_TRUE(err.contains("usage: noaa-sim")) << err.toStdString();
}
