// The place's active weather alerts on the saver's window. On each tick of the clock the
// poller asks the weather service (the copy that downloads) or takes up what that copy
// kept, and the banner shows what is in effect now, one alert at a time.

#include "shell/FrmMain.h"

#include "bridge/AlertPoller.h"
#include "bridge/BridgeFrames.h"
#include "bridge/LegacyFormsBridge.h"
#include "display/AlertBanner.h"
#include "display/FrameLayout.h"
#include "display/FramePresentation.h"
#include "display/PictureBox.h"
#include "shell/SaverApp.h"
#include "shell/SharedCache.h"
#include "support/Clock.h"

#include <QLabel>

#include <algorithm>

namespace nimbuscope {

namespace {

constexpr qint64 kCycleSeconds = 8;
// Asking more often would tell nothing new: the service updates its answers about this often.
constexpr qint64 kLeastRefreshSeconds = 10;
// The banner's height on a 768-pixel-high window; it follows the window's height.
constexpr int kBannerDesignHeight = 56;
constexpr double kDesignHeight = 768.0;
constexpr QSize kRadarFrame(BridgeFrames::kFrameWidth, BridgeFrames::kFrameHeight);

BannerColour colourOf(AlertSeverity severity) {
    switch (severity) {
    case AlertSeverity::Extreme:
    case AlertSeverity::Severe:
        return BannerColour::Red;
    case AlertSeverity::Moderate:
        return BannerColour::Orange;
    case AlertSeverity::Minor:
        return BannerColour::Yellow;
    case AlertSeverity::Unknown:
        break;
    }
    return BannerColour::Grey;
}

int bottomOf(const QWidget* w) {
    return w->geometry().bottom() + 1;
}

} // namespace

void FrmMain::createAlerts() {
    if (kit_.alertsNetwork == nullptr) {
        return;
    }
    AlertPollerConfig config;
    config.apiURL = app_.settings().getBridgeApiURL();
    config.refreshSeconds =
        std::max<qint64>(kLeastRefreshSeconds, app_.settings().getAlertsRefreshSeconds());
    // UTC from the program's one clock, as the bridge dates its answers.
    config.utcNow = [this] { return systemUtils_.getGMT().toQDateTime(); };
    config.zip = [this] { return app_.settings().getZipCode(); };
    config.folder = [this] { return app_.workingFolders.data; };
    config.place = [this] {
        RegistryValues& s = app_.settings();
        bool clean = false;
        const KeptPlaces kept =
            readKeptPlaces(app_.workingFolders.data.get(), systemUtils_.getGMT().toQDateTime(),
                           LegacyFormsBridge::kPlaceKeepSeconds, &clean);
        return alertPlaceOf(s.getCurrentConditionsURL(), s.getZipCode(), s.getTemplateURL(), kept);
    };
    alerts_ = std::make_unique<AlertPoller>(*kit_.alertsNetwork, std::move(config));
    alertBanner_ = new AlertBanner(this);
    alertBanner_->setObjectName(QStringLiteral("AlertBanner"));
    alertBanner_->hide();
    watchInput(alertBanner_);
}

void FrmMain::alertsTick() {
    if (!alerts_) {
        return;
    }
    if (app_.settings().getShowAlerts() == 0) {
        alertBanner_->hide();
        return;
    }
    alerts_->tick(sharedCache_->downloads());
    const QList<WeatherAlert> shown = alerts_->shown();
    const DateTime now = app_.services().clock.now();
    if (shown.isEmpty()) {
        alertBanner_->hide();
        return;
    }
    qint64 since = wholeSecondsBetween(alertsShownSince_, now);
    if (alertBanner_->isHidden() || since < 0) {
        alertsShownSince_ = now; // each showing starts with the most severe alert
        since = 0;
    }
    const WeatherAlert& alert = shown[qsizetype(since / kCycleSeconds % shown.size())];
    const DateTime utcNow = systemUtils_.getGMT();
    BannerContent content;
    content.headline =
        alertHeadline(alert, utcNow.toQDateTime(), wholeSecondsBetween(utcNow, now), kit_.locale);
    if (colourOf(alert.severity) == BannerColour::Red) {
        content.detail = firstSentence(alert.instruction);
    }
    if (shown.size() > 1) {
        content.more = QStringLiteral("+%1 more").arg(shown.size() - 1);
    }
    content.colour = colourOf(alert.severity);
    alertBanner_->setContent(content);
    placeAlertBanner();
    alertBanner_->show();
    alertBanner_->raise();
}

// Under the title and the clock, above the radar picture: where a frame is on screen, or
// where a radar frame would be before the first one is.
void FrmMain::placeAlertBanner() {
    const SaverControls& c = ctl_;
    const int belowTitle = std::max({bottomOf(c.DownloadInfoChannelName), bottomOf(c.EscToChange),
                                     bottomOf(c.currentTime), bottomOf(c.ImageDate)});
    const QRect picture =
        c.Picture1->isVisible() ? c.Picture1->geometry() : presentation_->frameBoxFor(kRadarFrame);
    const int captionTop = picture.top() - qRound(1.5 * c.ItemCaption->height());
    const int height = qRound(kBannerDesignHeight * screen_.height() / kDesignHeight);
    alertBanner_->setGeometry(
        alertBannerRect(screen_.size(), belowTitle, captionTop, picture, height));
}

} // namespace nimbuscope
