#include "shell/PassOnScreen.h"

#include "display/FramePresentation.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "display/SaverTimer.h"
#include "display/SaverWindow.h"
#include "support/Error.h"

#include <QImage>
#include <QLabel>

namespace nimbuscope {

namespace {

constexpr qint32 kDownloadBarLeft = 60;

void show(QWidget* w) {
    if (w != nullptr) {
        w->show();
    }
}

void hide(QWidget* w) {
    if (w != nullptr) {
        w->hide();
    }
}

void setCaption(QLabel* label, const QString& text) {
    if (label != nullptr) {
        label->setText(text);
    }
}

} // namespace

MyProgress& PassOnScreen::bar() {
    if (c_.progress == nullptr) {
        throw Error::of(err::ObjectRequired);
    }
    return *c_.progress;
}

void PassOnScreen::showTitle(const QString& title) {
    if (QLabel* name = c_.DownloadInfoChannelName) {
        name->setText(title);
        name->repaint();
    }
}

void PassOnScreen::showPassStart() {
    hide(c_.NetworkProblem);
    hide(c_.NetworkProblem2);
    QLabel* info = c_.DownloadInfo;
    if (info != nullptr) {
        info->move((s_.screenWidth - info->width()) / 2, info->y());
        info->setText(QStringLiteral("Downloading Radar Updates..."));
    }
    show(c_.DownloadInfoChannelName);
    if (info != nullptr) {
        bar().setTopLeft(info->y() + info->height(), kDownloadBarLeft, kDownloadBar);
    }
    show(c_.EscToChange);
    if (info != nullptr) {
        info->show();
        info->repaint();
    }
    bar().setVisible(true, kDownloadBar);
    hide(c_.RadarImagesMissing);
}

void PassOnScreen::showImageInfo() {
    show(c_.ImageInfo);
}

void PassOnScreen::runSteps(bool on) {
    if (c_.AsyncDownloadTimer != nullptr) {
        c_.AsyncDownloadTimer->setEnabled(on);
    }
}

bool PassOnScreen::downloadBarShown() {
    return bar().visible(kDownloadBar);
}

qint32 PassOnScreen::downloadStep() {
    return bar().value(kDownloadBar);
}

void PassOnScreen::setDownloadSteps(qint32 steps) {
    bar().setMax(steps, kDownloadBar);
}

void PassOnScreen::setDownloadStep(qint32 step) {
    bar().setValue(step, kDownloadBar);
}

void PassOnScreen::startDownloadSteps() {
    bar().setMin(1, kDownloadBar);
    setDownloadStep(1);
}

void PassOnScreen::advanceDownload() {
    bar().incrValue(kDownloadBar);
}

void PassOnScreen::showConditions(const QString& temperature, const QString& conditions) {
    setCaption(c_.currentTempF, temperature);
    setCaption(c_.currentConditions, conditions);
}

void PassOnScreen::showConditionsPicture(const QImage& picture) {
    if (c_.currentConditionsPictureBox != nullptr) {
        c_.currentConditionsPictureBox->setPicture(picture);
    }
}

void PassOnScreen::showRadarTimes(const QString& caption, qint32 maximum, qint32& position) {
    MyProgress& p = bar();
    setCaption(c_.CurrentRadarTimes, caption);
    setCaption(c_.currentRadarTimesLabel, QStringLiteral("Current Radar"));
    p.setMin(1, kRadarTimeBar);
    p.setMax(maximum, kRadarTimeBar);
    if (c_.CurrentRadarTimes != nullptr && !c_.CurrentRadarTimes->isHidden()) {
        p.setVisible(true, kRadarTimeBar);
    }
    p.setValue(position, kRadarTimeBar);
}

void PassOnScreen::clearRadarTimes() {
    bar().setVisible(false, kRadarTimeBar);
    setCaption(c_.CurrentRadarTimes, QString());
}

void PassOnScreen::restartAnimationBar(qint32 steps) {
    MyProgress& p = bar();
    p.setMin(1, kRadarTimeBar);
    if (p.max(kRadarTimeBar) < steps) {
        p.setMax(steps, kRadarTimeBar);
    }
}

void PassOnScreen::showRetries(qint32 count) {
    setCaption(c_.retryCount, QString::number(count) + QStringLiteral(" retries"));
}

void PassOnScreen::showFramesEnd(FrameSupply supply) {
    if (supply == FrameSupply::None) {
        show(c_.NetworkProblem);
    } else if (supply == FrameSupply::Partial) {
        show(c_.RadarImagesMissing);
    }
    hide(c_.DownloadInfo);
    bar().setVisible(false, kDownloadBar);
}

void PassOnScreen::showNetworkProblem(bool offline) {
    show(c_.NetworkProblem);
    if (offline && c_.NetworkProblem != nullptr && c_.NetworkProblem2 != nullptr) {
        showOfflineLines(c_, s_.screenHeight);
    }
    bar().setVisible(false, kDownloadBar);
    hide(c_.DownloadInfo);
}

} // namespace nimbuscope
