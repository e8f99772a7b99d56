#include "display/AlertBanner.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace nimbuscope {

namespace {

constexpr int kMargin = 4;
// Below this a line of text is no longer read at a glance.
constexpr int kMinHeight = 16;
constexpr int kTwoLinesFrom = 34;
constexpr double kHeadlineShare = 0.42;
constexpr double kOneLineShare = 0.6;
constexpr double kDetailShare = 0.3;
constexpr double kPaddingShare = 0.3;

QFont bannerFont(int px, bool bold) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::max(1, px));
    font.setBold(bold);
    return font;
}

} // namespace

QColor bannerBackground(BannerColour colour) {
    switch (colour) {
    case BannerColour::Red:
        return QColor(0xb0, 0x00, 0x00);
    case BannerColour::Orange:
        return QColor(0xff, 0x8c, 0x00);
    case BannerColour::Yellow:
        return QColor(0xff, 0xd7, 0x00);
    case BannerColour::Grey:
        break;
    }
    return QColor(0xb4, 0xb4, 0xb4);
}

QColor bannerText(BannerColour colour) {
    return colour == BannerColour::Red ? QColor(Qt::white) : QColor(Qt::black);
}

AlertBanner::AlertBanner(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void AlertBanner::setContent(const BannerContent& content) {
    if (content == content_) {
        return;
    }
    content_ = content;
    update();
}

void AlertBanner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), bannerBackground(content_.colour));
    painter.setPen(bannerText(content_.colour));
    const int h = height();
    const int pad = qRound(h * kPaddingShare);
    const bool twoLines = !content_.detail.isEmpty() && h >= kTwoLinesFrom;
    const int firstHeight = twoLines ? h * 6 / 10 : h;
    const QRect first(pad, 0, width() - 2 * pad, firstHeight);

    painter.setFont(bannerFont(qRound(h * (twoLines ? kHeadlineShare : kOneLineShare)), true));
    const int moreWidth =
        content_.more.isEmpty() ? 0 : painter.fontMetrics().horizontalAdvance(content_.more) + pad;
    painter.drawText(first, Qt::AlignRight | Qt::AlignVCenter, content_.more);
    const QRect headline = first.adjusted(0, 0, -moreWidth, 0);
    painter.drawText(
        headline, Qt::AlignLeft | Qt::AlignVCenter,
        painter.fontMetrics().elidedText(content_.headline, Qt::ElideRight, headline.width()));
    if (twoLines) {
        painter.setFont(bannerFont(qRound(h * kDetailShare), false));
        const QRect second(pad, firstHeight, width() - 2 * pad, h - firstHeight);
        painter.drawText(
            second, Qt::AlignLeft | Qt::AlignTop,
            painter.fontMetrics().elidedText(content_.detail, Qt::ElideRight, second.width()));
    }
}

QRect alertBannerRect(QSize window, int belowTitle, int captionTop, QRect picture, int height) {
    const int pictureTop = picture.isEmpty() ? window.height() : picture.top();
    const int pictureBottom = picture.isEmpty() ? window.height() : picture.bottom() + 1;
    const int left = kMargin;
    const int width = std::max(0, window.width() - 2 * kMargin);
    const int top = belowTitle + kMargin;
    const int least = std::min(kMinHeight, height);
    if (captionTop - kMargin - top >= height) {
        return {left, top, width, height};
    }
    // Over the heading the band takes all the room down to the picture, so no part of the
    // heading's text peeks out under it.
    if (const int room = pictureTop - kMargin - top; room >= least) {
        return {left, top, width, room};
    }
    const int below = pictureBottom + kMargin;
    if (const int room = window.height() - kMargin - below; room >= least) {
        return {left, below, width, std::min(height, room)};
    }
    return {left, 0, width, std::clamp(pictureTop - kMargin, least, height)};
}

} // namespace nimbuscope
