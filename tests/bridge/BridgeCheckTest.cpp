// nimbuscope-bridge-check on recorded answers: what it asks (through the configured bases only),
// prints and when it fails, with the bridge's own rules.
#include "BridgeCheck.h"

#include "RecordedAnswers.h"

using namespace nimbuscope;
using namespace nimbuscope::test;

using BridgeCheckTest = RecordedPlaceTest;

TEST_F(BridgeCheckTest, ItsReportsOnRecordedAnswersAreTheGoldenOnes) {
    const struct {
        const char* report; // in golden/
        const char* points;
        const char* observation; // what the second station reports
        int alertsStatus;
        const char* alerts;
        const char* now;
        bool ok;
    } rows[] = {
        {"bridge-check-ok.txt", "points-38.886,-77.094-arlington-va.json",
         "observation-latest-kfll.json", 200, "alerts-point-empty.json", "2022-03-03T00:30:00Z",
         true},
        {"bridge-check-fahrenheit-alerts-refused.txt", "points-38.886,-77.094-arlington-va.json",
         "observation-fahrenheit.json", 400, "problem-alerts-invalid-point.json",
         "2022-03-03T00:30:00Z", false},
        {"bridge-check-stale-alerts-shown.txt", "points-38.886,-77.094-arlington-va.json",
         "observation-latest-kfll.json", 200, "alerts-point-ranked-cancelled-expired.json",
         "2026-12-05T21:35:00Z", false},
        {"bridge-check-no-radar.txt", "points-no-radar-utqiagvik-ak.json",
         "observation-latest-kfll.json", 200, "alerts-point-empty.json", "2022-03-03T00:30:00Z",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.report);
        transport.answers[kPointsSent] = http(200, today(row.points));
        transport.answers[kLatestOf.arg("KOLM")] = http(200, today(row.observation));
        transport.answers[kAlertsSent] = http(row.alertsStatus, today(row.alerts));
        now = utc(row.now);
        QString printed;
        QTextStream out(&printed);
        EXPECT_EQ(BridgeCheck(config, transport, out).run(QStringLiteral("22201")), row.ok);
        out.flush();
        EXPECT_EQ(printed.toStdString(), golden(row.report).toStdString());
    }
}
