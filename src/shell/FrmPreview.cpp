#include "shell/FrmPreview.h"

#include "bridge/AlertPoller.h"
#include "display/AlertBanner.h"
#include "platform/InstanceLocks.h"
#include "platform/WindowEmbedding.h"
#include "shell/MyMain.h"
#include "shell/SaverApp.h"
#include "shell/WorkingFolder.h"
#include "support/FolderHandle.h"
#include "support/SystemUtils.h"

#include <QCloseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>

namespace nimbuscope {

namespace {

// Rounded a * b / c for positive sizes, without overflow for any window size.
int scaledRounded(int a, int b, int c) {
    return static_cast<int>((static_cast<qint64>(a) * b + c / 2) / c);
}

} // namespace

QRect coverSourceRect(QSize picture, QSize target) {
    if (picture.isEmpty() || target.isEmpty()) {
        return {};
    }
    const qint64 pictureShape = static_cast<qint64>(picture.width()) * target.height();
    const qint64 targetShape = static_cast<qint64>(target.width()) * picture.height();
    if (pictureShape > targetShape) { // the picture is the wider one: cut its sides
        const int width =
            std::max(1, scaledRounded(target.width(), picture.height(), target.height()));
        return {(picture.width() - width) / 2, 0, width, picture.height()};
    }
    const int height = std::max(1, scaledRounded(target.height(), picture.width(), target.width()));
    return {0, (picture.height() - height) / 2, picture.width(), height};
}

PreviewPicture::PreviewPicture() {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Only the end of the preview's window ends the program, through the form's timer.
    setAttribute(Qt::WA_QuitOnClose, false);
}

void PreviewPicture::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PreviewPicture::setAlertEdge(bool shown) {
    if (shown != alertEdge_) {
        alertEdge_ = shown;
        update();
    }
}

int PreviewPicture::alertEdgeWidth(QSize size) {
    constexpr int kLeastWidth = 2;
    constexpr int kShareOfShorterSide = 32;
    return std::max(kLeastWidth, std::min(size.width(), size.height()) / kShareOfShorterSide);
}

void PreviewPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect source = coverSourceRect(picture_.size(), size());
    if (source.isEmpty()) {
        painter.fillRect(rect(), Qt::black);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), picture_, source);
    }
    if (alertEdge_) {
        const int w = alertEdgeWidth(size());
        const QColor red = bannerBackground(BannerColour::Red);
        painter.fillRect(0, 0, width(), w, red);
        painter.fillRect(0, height() - w, width(), w, red);
        painter.fillRect(0, 0, w, height(), red);
        painter.fillRect(width() - w, 0, w, height(), red);
    }
}

void PreviewPicture::closeEvent(QCloseEvent* event) {
    event->accept();
    emit closed();
}

FrmPreview::FrmPreview(SaverApp& app, WindowEmbedding& embedding)
    : app_(app), embedding_(embedding) {
    Form_Load();
}

FrmPreview::~FrmPreview() = default;

void FrmPreview::Form_Load() {
    setWindowTitle(QString::fromLatin1(kPreviewCaption));
    captionLock_ = app_.services().locks.acquire(QString::fromLatin1(kPreviewCaption));
    loaded_ = true;

    // The form is only there to carry the caption: no frame, no taskbar entry, no focus.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                   Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(1, 1);

    // A missing picture leaves the box black; this mode writes no log to say so.
    Picture1.setPicture(
        QImage(app_.folders().dataDir + QLatin1Char('/') + QString::fromLatin1(kPictureFile)));
    Picture1.setWindowTitle(QString::fromLatin1(kPictureTitle));

    ExitTimer.setTimerType(Qt::PreciseTimer);
    ExitTimer.setInterval(kExitTimerIntervalMs);
    connect(&ExitTimer, &QTimer::timeout, this, &FrmPreview::ExitTimer_Timer);
    connect(&Picture1, &PreviewPicture::closed, this, &FrmPreview::Picture1_Destroyed);
    connect(&embedding_, &WindowEmbedding::windowGone, this, &FrmPreview::Picture1_Destroyed);
    connect(&embedding_, &WindowEmbedding::hostResized, this, &FrmPreview::fitToHost);

    AlertTimer_Timer();
    AlertTimer.setInterval(kAlertTimerIntervalMs);
    connect(&AlertTimer, &QTimer::timeout, this, &FrmPreview::AlertTimer_Timer);
    AlertTimer.start();
}

bool FrmPreview::showInParent(quint32 parentHandle) {
    if (parentHandle != 0) {
        // A window that is not there would never be destroyed, and the preview would wait
        // for that forever.
        if (!embedding_.attach(parentHandle)) {
            return false;
        }
        Picture1.winId();
        embedding_.embed(*Picture1.windowHandle());
        fitToHost(embedding_.hostSize());
    } else {
        Picture1.resize(Picture1.picture().isNull() ? QSize(1, 1) : Picture1.picture().size());
        Picture1.winId();
        embedding_.watch(*Picture1.windowHandle());
    }
    Picture1.show();
    show();
    return true;
}

void FrmPreview::fitToHost(QSize hostSize) {
    if (hostSize.isEmpty()) {
        hostSize = Picture1.picture().size();
    }
    Picture1.setGeometry(QRect(QPoint(0, 0), hostSize));
}

void FrmPreview::AlertTimer_Timer() {
    Picture1.setAlertEdge(severeAlertInEffect());
}

// Only reads: the preview makes no folder and writes no file, and a folder that is missing
// or not safe shows no edge.
bool FrmPreview::severeAlertInEffect() {
    RegistryValues& settings = app_.settings();
    if (settings.getShowAlerts() == 0) {
        return false;
    }
    SystemUtils system(app_.services().platform, app_.log(), app_.services().clock);
    const std::shared_ptr<const FolderHandle> data =
        findCacheFolder(system.getTempFolder(), system.getCurrentUserName());
    return anySevere(
        keptAlertsInEffect(data.get(), settings.getZipCode(), system.getGMT().toQDateTime()));
}

void FrmPreview::Picture1_Destroyed() {
    ExitTimer.start();
}

void FrmPreview::ExitTimer_Timer() {
    ExitTimer.stop();
    hide();
    Form_Unload();
    app_.endProgramNow(0);
}

void FrmPreview::Form_Unload() {
    AlertTimer.stop();
    captionLock_.reset();
    loaded_ = false;
}

} // namespace nimbuscope
