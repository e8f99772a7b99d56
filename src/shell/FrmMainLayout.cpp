// The controls of the saver window, their design-time look, and the layout formulas of the
// load and of the information column (pixels throughout).

#include "shell/FrmMain.h"

#include "display/FrameLayout.h"
#include "display/FramePresentation.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "display/SaverTimer.h"
#include "shell/SaverApp.h"

#include <QFont>
#include <QLabel>
#include <QPalette>

#include <algorithm>

namespace nimbuscope {

namespace {

// Sizes are designed for a 1024 x 768 screen: they grow with higher ones, and in a smaller
// window the whole layout shrinks in proportion (layoutScale).
constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kGrey = 0xffa8b0b8;
constexpr QRgb kAmber = 0xffffc857;
constexpr int kBarHeight = 6;
constexpr int kBarDesign[] = {420, 180};
constexpr QSize kConditionsPictureDesign(55, 58);
const QString kLogoResource = QStringLiteral(":/nimbuscope/NimbuscopeLogo.jpg");

// "Arial" of the design; "MS Sans Serif" labels get the same sans face, a little smaller.
enum class Face { Arial, MsSansSerif };

struct LabelDesign {
    QLabel* SaverControls::*member;
    const char* name;
    const char* caption;
    Face face;
    int fontPx;
    bool bold;
    int width; // 0: the screen width
    int height;
    Qt::Alignment align;
    QRgb colour;
    int left;
    int top;
};

constexpr Qt::Alignment kCentre = Qt::AlignCenter;
constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;

// Captions are the design-time ones; labels filled at run time start empty.
const LabelDesign kLabels[] = {
    {&SaverControls::ItemCaption, "ItemCaption", "", Face::Arial, 22, true, 700, 32, kCentre,
     kWhite, 0, 0},
    {&SaverControls::ImageInfo, "ImageInfo", "", Face::Arial, 13, false, 0, 20, kCentre, kGrey, 0,
     0},
    {&SaverControls::ImageDate, "ImageDate", "", Face::Arial, 13, false, 300, 20, kRight, kGrey, 0,
     30},
    {&SaverControls::currentTime, "currentTime", "", Face::Arial, 16, false, 300, 24, kRight,
     kWhite, 0, 8},
    {&SaverControls::currentTempF, "currentTempF", "", Face::Arial, 34, true, 180, 44, kCentre,
     kWhite, 0, 300},
    {&SaverControls::currentConditions, "currentConditions", "", Face::Arial, 15, false, 180, 44,
     kCentre, kWhite, 0, 420},
    {&SaverControls::CurrentRadarTimes, "CurrentRadarTimes", "", Face::Arial, 15, false, 180, 22,
     kCentre, kWhite, 0, 360},
    {&SaverControls::currentRadarTimesLabel, "currentRadarTimesLabel", "Current Radar", Face::Arial,
     15, true, 180, 22, kCentre, kGrey, 0, 330},
    {&SaverControls::DownloadInfo, "DownloadInfo", "Downloading update 1 of 10", Face::Arial, 15,
     false, 420, 22, kLeft, kWhite, 60, 62},
    {&SaverControls::DownloadInfoChannelName, "DownloadInfoChannelName", "Nimbuscope for ",
     Face::Arial, 18, true, 600, 26, kLeft, kWhite, 20, 8},
    {&SaverControls::NetworkProblem, "NetworkProblem",
     "Nimbuscope is having difficulty connecting to the NOAA website.", Face::MsSansSerif, 14, true,
     620, 22, kCentre, kAmber, 0, 0},
    {&SaverControls::NetworkProblem2, "NetworkProblem2", "Press the <Enter> key to retry...",
     Face::MsSansSerif, 14, false, 620, 22, kCentre, kGrey, 0, 0},
    {&SaverControls::retryCount, "retryCount", "0 retries", Face::Arial, 13, false, 120, 20, kRight,
     kGrey, 0, 0},
    {&SaverControls::RadarImagesMissing, "RadarImagesMissing", "Radar partially unavailable",
     Face::MsSansSerif, 14, false, 400, 22, kCentre, kAmber, 0, 0},
    {&SaverControls::EscToChange, "EscToChange", "Press Esc to change", Face::Arial, 13, false, 220,
     20, kLeft, kGrey, 20, 36},
    {&SaverControls::cmdline, "cmdline", "", Face::Arial, 10, false, 300, 16, kLeft, kGrey, 0, 0},
};

QFont fontFor(Face face, int px, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, face == Face::MsSansSerif ? px - 1 : px));
    font.setBold(bold);
    return font;
}

int scaled(double scale, int designed) {
    return qRound(designed * scale);
}

void paintBlack(QWidget* w) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::Window, Qt::black);
    w->setPalette(palette);
    w->setAutoFillBackground(true);
}

} // namespace

void FrmMain::createControls() {
    paintBlack(this);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    ctl_.window = this;
    auto picture = [this](const char* name, bool autoSize) {
        auto* box = new PictureBox(this, autoSize);
        box->setObjectName(QLatin1String(name));
        watchInput(box);
        return box;
    };
    ctl_.Picture1 = picture("Picture1", false);
    ctl_.Picture2 = picture("Picture2", true);
    ctl_.Picture2->hide();
    ctl_.LogoImage = picture("LogoImage", true);
    ctl_.LogoImage->setPicture(QImage(kLogoResource));
    ctl_.currentConditionsPictureBox = picture("currentConditionsPictureBox", true);
    ctl_.currentConditionsPictureBox->hide();
    createLabels();

    progress_ = std::make_unique<MyProgress>(this, app_.log());
    ctl_.progress = progress_.get();
    // The bars take no input: a click on one does nothing, rather than falling through to
    // the window and ending the saver. A move over one is still a move.
    for (int bar = 0; bar < MyProgress::kBars; ++bar) {
        for (QWidget* part :
             {ctl_.progress->MyProgressBarBack(bar), ctl_.progress->MyProgressBar(bar)}) {
            part->setAttribute(Qt::WA_TransparentForMouseEvents, false);
            part->setObjectName(part == ctl_.progress->MyProgressBar(bar)
                                    ? QStringLiteral("MyProgressBar")
                                    : QStringLiteral("MyProgressBarBack"));
            watchInput(part);
        }
    }
    applyLayoutScale();
}

// Fonts, sizes and design positions for the window's size; the formulas of the load and of
// the information column then place what they place relative to these.
void FrmMain::applyLayoutScale() {
    const double scale = layoutScale(screen_.size());
    state_.pictureScale = pictureScale(screen_.size());
    for (const LabelDesign& d : kLabels) {
        QLabel* label = ctl_.*(d.member);
        label->setFont(fontFor(d.face, scaled(scale, d.fontPx), d.bold));
        const int width = d.width == 0 ? screen_.width() : scaled(scale, d.width);
        label->setGeometry(scaled(scale, d.left), scaled(scale, d.top), width,
                           scaled(scale, d.height));
    }
    // These two take the size of their text; a new font needs it measured again.
    for (QLabel* fitted : {ctl_.ItemCaption, ctl_.currentTime}) {
        if (!fitted->text().isEmpty()) {
            fitted->adjustSize();
        }
    }
    ctl_.LogoImage->setPictureScale(state_.pictureScale);
    PictureBox* conditions = ctl_.currentConditionsPictureBox;
    conditions->setPictureScale(state_.pictureScale);
    if (conditions->pictureSize().isEmpty()) {
        conditions->resize(scaledSize(kConditionsPictureDesign, scale));
    }
    for (const int bar : {kDownloadBar, kRadarTimeBar}) {
        ctl_.progress->setWidthHeight(scaled(scale, kBarDesign[bar]), scaled(scale, kBarHeight),
                                      bar);
    }
    // The title lines end with the hint under the title.
    state_.headerBottom = ctl_.EscToChange->geometry().bottom() + 1;
}

void FrmMain::createLabels() {
    for (const LabelDesign& d : kLabels) {
        auto* label = new QLabel(QString::fromLatin1(d.caption), this);
        label->setObjectName(QLatin1String(d.name));
        label->setAlignment(d.align);
        label->setWordWrap(d.member == &SaverControls::currentConditions);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor::fromRgb(d.colour));
        label->setPalette(palette);
        label->hide();
        watchInput(label);
        ctl_.*(d.member) = label;
    }
}

void FrmMain::createTimers() {
    timer1_ = kit_.timers.create(kTimer1DesignMs, true);
    timeOfDay_ = kit_.timers.create(kTimeOfDayMs, true);
    asyncDownloadTimer_ = kit_.timers.create(kAsyncDownloadMs, false);
    win9xPwdDismiss_ = kit_.timers.create(kWin9xPwdDismissMs, false);
    ctl_.Timer1 = timer1_.get();
    ctl_.TimeOfDay = timeOfDay_.get();
    ctl_.AsyncDownloadTimer = asyncDownloadTimer_.get();
    ctl_.Win9xPwdDismiss = win9xPwdDismiss_.get();
}

void FrmMain::watchInput(QWidget* control) {
    control->setMouseTracking(true);
    // Clicks on a control are the control's own: they never reach the window beneath.
    control->setAttribute(Qt::WA_NoMousePropagation);
    control->installEventFilter(this);
}

void FrmMain::layOutAtLoad() {
    const int w = screen_.width();
    const int h = screen_.height();
    state_.screenWidth = w;
    state_.screenHeight = h;
    state_.screenAspect = float(w) / float(h);
    ctl_.Picture1->setGeometry(0, 0, w, h);
    for (QLabel* label : {ctl_.NetworkProblem, ctl_.RadarImagesMissing}) {
        label->move((w - label->width()) / 2, h - label->height());
    }
    // Centred as each download pass centres it, also after the window changed size.
    ctl_.DownloadInfo->move((w - ctl_.DownloadInfo->width()) / 2, ctl_.DownloadInfo->y());
    ctl_.cmdline->setText(QLatin1Char('=') + kit_.commandLine + QLatin1Char('='));
}

void FrmMain::placeLogoAndImageInfo() {
    ctl_.LogoImage->move((screen_.width() - ctl_.LogoImage->width()) / 2,
                         (screen_.height() - ctl_.LogoImage->height()) / 2);
    ctl_.ImageInfo->setGeometry(ctl_.ImageInfo->x(),
                                qRound(screen_.height() - 1.3 * ctl_.ImageInfo->height()),
                                screen_.width(), ctl_.ImageInfo->height());
}

// The host's window is the saver's screen: when it changes size, everything takes its place
// for the new size, and the next frame is drawn to fit it.
void FrmMain::fitToHost(QSize size) {
    if (size.isEmpty() || size == screen_.size()) {
        return;
    }
    screen_ = QRect(QPoint(0, 0), size);
    setGeometry(screen_);
    applyLayoutScale();
    layOutAtLoad();
    placeLogoAndImageInfo();
    presentation_->refitSizingBox();
    if (infoLaidOut_) {
        placeInformation();
    }
}

// Once the first frame is on screen, the clock, the conditions and the radar times take
// their places around the picture.
void FrmMain::layOutInformation() {
    placeInformation();
    ctl_.currentTime->show();
    ctl_.retryCount->hide();
    setCursorVisible(false);
    placeTopmostAgain();
    infoLaidOut_ = true;
}

// The clock in the top right corner, the retry count in the bottom right one, and the
// columns either side of the picture.
void FrmMain::placeInformation() {
    const int w = screen_.width();
    const int h = screen_.height();
    ctl_.currentTime->move(w - ctl_.currentTime->width(), qRound(0.3 * ctl_.currentTime->height()));
    placeConditionsColumn();
    placeRadarTimes();
    ctl_.retryCount->move(w - ctl_.retryCount->width(), h - ctl_.retryCount->height());
}

// Temperature, picture and conditions text stacked in the strip left of the picture, a
// little below the middle of the screen; the radar times centred in the strip right of it.
void FrmMain::placeConditionsColumn() {
    const SaverControls& c = ctl_;
    const int right = c.Picture2->x() + c.Picture2->width();
    c.currentTempF->resize(c.currentConditions->width(), c.currentTempF->height());
    c.currentTempF->move((c.Picture2->x() - c.currentTempF->width()) / 2, c.currentTempF->y());
    c.currentConditions->move(c.currentTempF->x(), c.currentConditions->y());
    c.CurrentRadarTimes->move((screen_.width() - right - c.CurrentRadarTimes->width()) / 2 + right,
                              c.CurrentRadarTimes->y());
    c.currentRadarTimesLabel->move(c.CurrentRadarTimes->x(), c.currentRadarTimesLabel->y());

    PictureBox* picture = c.currentConditionsPictureBox;
    picture->move((c.currentConditions->width() - picture->width()) / 2 + c.currentConditions->x(),
                  picture->y());
    const int stack = c.currentConditions->height() + picture->height() + c.currentTempF->height();
    c.currentTempF->move(c.currentTempF->x(), qRound((screen_.height() - stack) / 2.0 * 1.1));
    picture->move(picture->x(), c.currentTempF->y() + c.currentTempF->height());
    c.currentConditions->move(c.currentConditions->x(),
                              qRound(picture->y() + 1.4 * picture->height()));
}

// The radar-time label level with the conditions picture, the bar under it, the times under
// the bar.
void FrmMain::placeRadarTimes() {
    const SaverControls& c = ctl_;
    QWidget* barBack = c.progress->MyProgressBarBack(kRadarTimeBar);
    QLabel* label = c.currentRadarTimesLabel;
    label->move(label->x(), c.currentConditionsPictureBox->y());
    const int barTop = label->y() + label->height();
    c.CurrentRadarTimes->move(c.CurrentRadarTimes->x(), qRound(barTop + 1.4 * barBack->height()));
    c.progress->setTopLeft(barTop, c.CurrentRadarTimes->x(), kRadarTimeBar);
    c.progress->setWidthHeight(c.CurrentRadarTimes->width(), barBack->height(), kRadarTimeBar);
    if (c.AsyncDownloadTimer->isEnabled()) {
        c.progress->setMin(1, kRadarTimeBar);
        c.progress->setMax(10, kRadarTimeBar);
    }
}

} // namespace nimbuscope
