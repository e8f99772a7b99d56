#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QScreen;

namespace nimbuscope {

/// Where input on a cover goes: the saver window's own handlers, so that the rules for
/// what ends the saver live in one place.
struct CoverInput {
    std::function<void(int qtKey)> keyDown;
    std::function<void()> mouseMove;
    std::function<void()> mouseDown;
};

/// A black, frameless, topmost window over one whole screen that hands its input on.
class CoverWindow final : public QWidget {
    Q_OBJECT

public:
    CoverWindow(QScreen* screen, const CoverInput& input);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    const CoverInput& input_;
};

/// A screen saver hides the whole desktop: while the saver window shows on one screen,
/// every other screen gets a cover. Screens that come or go while it runs gain or lose
/// theirs. The covers go with this object.
class ScreenCovers final : public QObject {
    Q_OBJECT

public:
    /// `own` is the screen of the saver window, which needs no cover.
    ScreenCovers(QScreen* own, CoverInput input);
    ~ScreenCovers() override;
    ScreenCovers(const ScreenCovers&) = delete;
    ScreenCovers& operator=(const ScreenCovers&) = delete;

    /// Covers every screen but the saver window's own and keeps doing so. Idempotent.
    void show();
    /// The covers now shown.
    QList<CoverWindow*> windows() const;

private:
    void addCover(QScreen* screen);
    void removeCover(QScreen* screen);

    QPointer<QScreen> own_;
    CoverInput input_;
    bool shown_ = false;
    QMap<QScreen*, CoverWindow*> covers_;
};

} // namespace nimbuscope
