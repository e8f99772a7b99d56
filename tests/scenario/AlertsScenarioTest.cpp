#include "ScenarioRig.h"

#include "bridge/BridgeTransport.h"
#include "display/AlertBanner.h"

#include "noaa-sim/TodayAlerts.h"

#include <QUrl>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

/// The weather service's active alerts: the simulator's, on the rig's clock.
class ScriptedAlerts final : public BridgeTransport {
public:
    explicit ScriptedAlerts(ScenarioRig& rig) : rig_(rig) {}

    void get(const BridgeGet& request, Done done) override {
        requests << request.url;
        BridgeAnswer a;
        a.answered = true;
        a.status = http_status::kOk;
        const QString point =
            QUrlQuery(QUrl(request.url).query()).queryItemValue(QStringLiteral("point"));
        a.body = QByteArray::fromStdString(alerts.activeJson(point.toStdString(), now()));
        done(a);
    }
    void abortAll() override {}

    noaasim::SysSeconds now() const {
        return noaasim::SysSeconds(std::chrono::seconds(rig_.utcNow().toSecsSinceEpoch()));
    }

    noaasim::TodayAlerts alerts;
    QStringList requests;

private:
    ScenarioRig& rig_;
};

} // namespace

// The banner over the saver shows the place's most severe alert with what to do; a user who
// turned alerts off sees none, and nothing is asked for them.
TEST(AlertsScenario, AnAlertInEffectIsShownAfterThePassUnlessAlertsAreTurnedOff) {
    for (const bool showAlerts : {true, false}) {
        SCOPED_TRACE(showAlerts);
        ScenarioRig rig;
        ScriptedAlerts service(rig);
        rig.alertsNetwork = &service;
        rig.keepSearchedPlace({39.1031, -94.5785});
        rig.settings().saveShowAlerts(showAlerts ? 1 : 0);
        service.alerts.issue({"Tornado Warning", "Severe", 45}, service.now());
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        rig.runFor(10);
        const AlertBanner& banner = *rig.window().alertBanner();
        EXPECT_EQ(service.requests.isEmpty(), !showAlerts);
        ASSERT_EQ(banner.isHidden(), !showAlerts);
        if (showAlerts) {
            EXPECT_TRUE(banner.content().headline.startsWith(QLatin1String("TORNADO WARNING")))
                << banner.content().headline.toStdString();
            EXPECT_EQ(banner.content().colour, BannerColour::Red);
            EXPECT_EQ(banner.content().detail, QStringLiteral("TAKE COVER NOW!"));
        }
    }
}
