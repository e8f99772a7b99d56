// nimbuscope-bridge-check on recorded answers: what it prints and when it fails, with the
// bridge's own rules.
#include "BridgeCheck.h"

#include "RecordedAnswers.h"

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

class BridgeCheckTest : public RecordedPlaceTest {
protected:
    bool run() {
        printed.clear();
        QTextStream out(&printed);
        return BridgeCheck(config, transport, out).run(QStringLiteral("22201"));
    }
    bool printedLine(const QString& line) const {
        return printed.split(QLatin1Char('\n')).contains(line);
    }

    QString printed;
};

} // namespace

TEST_F(BridgeCheckTest, ARecordedBrefRawWorkspaceChecksOkThroughTheConfiguredBases) {
    EXPECT_TRUE(run()) << printed.toStdString();
    for (const char* line :
         {"  ok    capabilities: klwx_bref_raw, 17 times, newest 2021-02-21T12:21:11.000Z",
          "  ok    observation KOLM: the saver shows 73°F and \"Mostly Cloudy\"",
          "    2022-03-02T23:53:00Z, 0 h 37 min old, \"Mostly Cloudy\", 22.8 wmoUnit:degC -> "
          "73°F, picture broken",
          "  ok    long-range frame of conus_bref_qcd: 47 49 46 38 39 61",
          "  ok    alerts: 0 listed, 0 shown"}) {
        EXPECT_TRUE(printedLine(QString::fromUtf8(line))) << line << "\n" << printed.toStdString();
    }
    for (const QString& url : transport.urls()) {
        EXPECT_TRUE(url.startsWith(QLatin1String("http://fake/"))) << url.toStdString();
    }
    // The alerts the saver would show, in its order; a problem answer fails the step.
    transport.answers[kAlertsSent] = http(200, today("alerts-point-ranked-cancelled-expired.json"));
    now = utc("2026-12-05T21:35:00Z");
    run();
    EXPECT_TRUE(
        printed.contains("  ok    alerts: 11 listed, 4 shown\n"
                         "    TORNADO WARNING until 2026-12-05T21:45:00Z (Extreme, Alert)\n"
                         "    WIND ADVISORY until 2026-12-06T06:00:00Z (Moderate, Alert)\n"))
        << printed.toStdString();
    transport.answers[kAlertsSent] = http(400, today("problem-alerts-invalid-point.json"));
    run();
    EXPECT_TRUE(printed.contains("  FAIL  alerts: Bad Request")) << printed.toStdString();
}

TEST_F(BridgeCheckTest, NoRadarStaleObservationsAndFahrenheitAreReportedAsTheSaverSeesThem) {
    const struct {
        const char* points;
        const char* observation; // what the second station reports
        const char* now;
        bool ok;
        const char* line;
    } rows[] = {
        {"points-no-radar-utqiagvik-ak.json", "observation-latest-kfll.json",
         "2022-03-03T00:30:00Z", false,
         "  FAIL  points: no radar covers Utqiagvik, AK (radarStation is null); the setup "
         "refuses it: choose a radar site under City"},
        {"points-38.886,-77.094-arlington-va.json", "observation-fahrenheit.json",
         "2022-03-03T00:30:00Z", true,
         "  ok    observation KOLM: the saver shows 42°F and \"Haze\""},
        {"points-38.886,-77.094-arlington-va.json", "observation-latest-kfll.json",
         "2022-06-01T12:00:00Z", false,
         "  FAIL  observation: no current observation: the saver shows no temperature and no "
         "conditions"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        transport.answers[kPointsSent] = http(200, today(row.points));
        transport.answers[kLatestOf.arg("KOLM")] = http(200, today(row.observation));
        now = utc(row.now);
        EXPECT_EQ(run(), row.ok);
        EXPECT_TRUE(printedLine(QString::fromUtf8(row.line))) << printed.toStdString();
        EXPECT_EQ(printed.contains("capabilities"), !QByteArray(row.points).contains("no-radar"))
            << "no frames are checked where no radar covers the place";
    }
    EXPECT_TRUE(printed.contains("2022-03-02T23:53:00Z, 90 days old")) << printed.toStdString();
}
