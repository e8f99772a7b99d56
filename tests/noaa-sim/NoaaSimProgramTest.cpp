// A smoke test of the built simulator: the settings it prints, a form served, a fault set at run
// time and an orderly end on SIGTERM. The saver's tests hold its answers to account.
#include <httplib.h>

#include <QProcess>
#include <gtest/gtest.h>

TEST(NoaaSimProgram, PrintsItsSettingsServesTakesAFaultAndEndsCleanlyOnSigterm) {
    QProcess sim;
    sim.start(QStringLiteral(NOAA_SIM_PROGRAM), {QStringLiteral("--port"), QStringLiteral("0")});
    QStringList lines;
    while (lines.isEmpty() || !lines.last().startsWith(QStringLiteral("listening on "))) {
        if (!sim.canReadLine() && !sim.waitForReadyRead(10000)) {
            break;
        }
        lines << QString::fromLatin1(sim.readLine()).trimmed();
    }
    ASSERT_EQ(lines.size(), 8) << lines.join(u'|').toStdString();
    const QString base = lines.last().mid(13); // http://127.0.0.1:PORT/
    const int port = base.section(u':', 2).chopped(1).toInt();
    EXPECT_EQ(lines[0], QStringLiteral("forecastServerURL=") + base);
    EXPECT_EQ(lines[1], QStringLiteral("validationServerHost=127.0.0.1:%1").arg(port));

    httplib::Client client("127.0.0.1", port);
    const std::string search = "/zipcity.php?inputstring=80301";
    EXPECT_EQ(client.Get(search)->status, 302);
    ASSERT_EQ(
        client.Post("/_sim/fault", httplib::Params{{"path", search}, {"kind", "error"}})->status,
        200);
    EXPECT_EQ(client.Get(search)->status, 500);

    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 0);
}
