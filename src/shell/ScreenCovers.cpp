#include "shell/ScreenCovers.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QScreen>

namespace nimbuscope {

CoverWindow::CoverWindow(QScreen* screen, const CoverInput& input)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      input_(input) {
    setObjectName(QStringLiteral("ScreenCover"));
    setWindowTitle(QStringLiteral("Nimbuscope"));
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);
    setMouseTracking(true);
    // Without a window manager a full-screen request keeps the default size, and on
    // separate X screens every screen has the same geometry: name both explicitly.
    setScreen(screen);
    setGeometry(screen->geometry());
}

void CoverWindow::keyPressEvent(QKeyEvent* event) {
    input_.keyDown(event->key());
}

void CoverWindow::mouseMoveEvent(QMouseEvent*) {
    input_.mouseMove();
}

void CoverWindow::mousePressEvent(QMouseEvent*) {
    input_.mouseDown();
}

void CoverWindow::closeEvent(QCloseEvent* event) {
    // A cover goes with the saver window, not on its own.
    event->ignore();
}

ScreenCovers::ScreenCovers(QScreen* own, CoverInput input) : own_(own), input_(std::move(input)) {}

ScreenCovers::~ScreenCovers() {
    qDeleteAll(covers_);
}

void ScreenCovers::show() {
    if (shown_) {
        return;
    }
    shown_ = true;
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        addCover(screen);
    }
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &ScreenCovers::addCover);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &ScreenCovers::removeCover);
}

QList<CoverWindow*> ScreenCovers::windows() const {
    return covers_.values();
}

void ScreenCovers::addCover(QScreen* screen) {
    if (screen == own_ || covers_.contains(screen)) {
        return;
    }
    auto* cover = new CoverWindow(screen, input_);
    covers_.insert(screen, cover);
    cover->show();
    cover->raise();
}

void ScreenCovers::removeCover(QScreen* screen) {
    // Left alone, Qt would move the cover to a remaining screen, perhaps over the saver.
    delete covers_.take(screen);
}

} // namespace nimbuscope
