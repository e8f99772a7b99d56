#include "display/MyProgress.h"

#include "support/Error.h"

#include <QColor>
#include <QPalette>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace nimbuscope {

namespace {

QWidget* flatRectangle(QWidget* parent, QRgb colour) {
    auto* rect = new QWidget(parent);
    QPalette palette = rect->palette();
    palette.setColor(QPalette::Window, QColor::fromRgb(colour));
    rect->setPalette(palette);
    rect->setAutoFillBackground(true);
    rect->setAttribute(Qt::WA_TransparentForMouseEvents);
    rect->hide();
    return rect;
}

} // namespace

MyProgress::MyProgress(QWidget* parent, Log& log) : log_(log) {
    for (Bar& b : bars_) {
        // Created after its background, the fill stays above it.
        b.back = flatRectangle(parent, kBackColour);
        b.fill = flatRectangle(parent, kFillColour);
    }
}

MyProgress::Bar& MyProgress::bar(int i) {
    if (i < 0 || i >= kBars) {
        throw Error::of(err::SubscriptOutOfRange);
    }
    return bars_[std::size_t(i)];
}

QString MyProgress::trapName(const char* operation) {
    return QStringLiteral("MyProgress:") + QLatin1StringView(operation);
}

void MyProgress::setWidthHeight(qint32 width, qint32 height, int i) {
    trappedVoid(log_, trapName("setWidthHeight"), [&] {
        Bar& b = bar(i);
        b.fill->resize(std::max(b.value, 0), height);
        b.back->resize(width, height);
    });
}

void MyProgress::setTopLeft(qint32 top, qint32 left, int i) {
    trappedVoid(log_, trapName("setTopLeft"), [&] {
        Bar& b = bar(i);
        b.fill->move(left, top);
        b.back->move(left, top);
    });
}

bool MyProgress::visible(int i) {
    // The control's own Visible setting, whether or not the window is on screen yet.
    return trapped(log_, trapName("visible"), false, [&] { return !bar(i).fill->isHidden(); });
}

qint32 MyProgress::max(int i) {
    return trapped(log_, trapName("max"), qint32(0), [&] { return bar(i).max; });
}

void MyProgress::setMax(qint32 max, int i) {
    trappedVoid(log_, trapName("setMax"), [&] { bar(i).max = max; });
}

void MyProgress::setMin(qint32 min, int i) {
    trappedVoid(log_, trapName("setMin"), [&] {
        bar(i).min = min;
        setValue(min, i);
    });
}

void MyProgress::setValue(qint32& value, int i) {
    trappedVoid(log_, trapName("setValue"), [&] {
        Bar& b = bar(i);
        if (value > b.max) {
            value = b.max;
        }
        if (value < b.min) {
            return;
        }
        b.value = value;
        qint64 range = qint64(b.max) - b.min + 1;
        if (range == 0 || range > b.max) {
            range = 1;
        }
        const double fraction = double(qint64(value) - b.min + 1) / double(range);
        // The range rule above can give fractions above 1 for a minimum below 1; the fill
        // still never outgrows its background.
        const int backWidth = b.back->width();
        const int width = std::max(
            int(std::lround(std::min(double(backWidth) * fraction, double(backWidth)))), 0);
        // The bar is set on every frame shown, mostly to the width it has: drawing it again
        // would cost a paint and a flush to the display for the same pixels.
        if (width == b.fill->width()) {
            return;
        }
        b.fill->resize(width, b.fill->height());
        b.fill->repaint();
    });
}

void MyProgress::incrValue(int i) {
    trappedVoid(log_, trapName("incrValue"), [&] {
        Bar& b = bar(i);
        if (b.value >= b.max) {
            b.value = b.max;
        } else {
            ++b.value;
        }
        setValue(b.value, i);
    });
}

void MyProgress::setVisible(bool visible, int i) {
    trappedVoid(log_, trapName("setVisible"), [&] {
        Bar& b = bar(i);
        setValue(b.value, i);
        // Shown on every frame while it already is; only a change needs drawing.
        const bool shows = b.back->isHidden() && visible;
        b.back->setVisible(visible);
        if (shows) {
            b.back->repaint();
        }
        b.fill->setVisible(visible);
    });
}

qint32 MyProgress::min(int i) const {
    return i >= 0 && i < kBars ? bars_[std::size_t(i)].min : 0;
}

qint32 MyProgress::value(int i) const {
    return i >= 0 && i < kBars ? bars_[std::size_t(i)].value : 0;
}

QWidget* MyProgress::MyProgressBarBack(int i) const {
    return i >= 0 && i < kBars ? bars_[std::size_t(i)].back : nullptr;
}

QWidget* MyProgress::MyProgressBar(int i) const {
    return i >= 0 && i < kBars ? bars_[std::size_t(i)].fill : nullptr;
}

} // namespace nimbuscope
