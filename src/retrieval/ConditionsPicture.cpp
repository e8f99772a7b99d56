#include "retrieval/ConditionsPicture.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace nimbuscope {

namespace {

constexpr int kJpegQuality = 90;
const QColor kClearSky(70, 130, 210);
const QColor kGreySky(120, 130, 145);
const QColor kSun(255, 205, 40);
const QColor kCloud(235, 235, 240);
const QColor kDarkCloud(150, 150, 160);

void drawSun(QPainter& p, QPointF centre, double radius) {
    p.setPen(Qt::NoPen);
    p.setBrush(kSun);
    p.drawEllipse(centre, radius, radius);
}

void drawCloud(QPainter& p, QPointF at, double scale, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(at + QPointF(-9, 2) * scale, 8 * scale, 6 * scale);
    p.drawEllipse(at + QPointF(0, -3) * scale, 10 * scale, 9 * scale);
    p.drawEllipse(at + QPointF(10, 2) * scale, 8 * scale, 6 * scale);
    p.drawRect(QRectF(at + QPointF(-9, 2) * scale, at + QPointF(10, 8) * scale));
}

void drawStreaks(QPainter& p, const QColor& colour, double dx, double length) {
    p.setPen(QPen(colour, 2));
    for (int i = 0; i < 5; ++i) {
        const QPointF top(10 + i * 9, 36 + (i % 2) * 4);
        p.drawLine(top, top + QPointF(dx, length));
    }
}

void drawFlakes(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    for (int i = 0; i < 6; ++i) {
        p.drawEllipse(QPointF(8 + i * 8, 40 + (i % 2) * 8), 2.5, 2.5);
    }
}

void drawBolt(QPainter& p) {
    QPainterPath bolt;
    bolt.moveTo(28, 32);
    bolt.lineTo(20, 46);
    bolt.lineTo(27, 46);
    bolt.lineTo(22, 57);
    bolt.lineTo(36, 41);
    bolt.lineTo(29, 41);
    bolt.lineTo(34, 32);
    bolt.closeSubpath();
    p.fillPath(bolt, kSun);
}

void drawBands(QPainter& p, const QColor& colour, int from, int step) {
    p.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap));
    for (int y = from; y < kConditionsPictureHeight - 4; y += step) {
        p.drawLine(QPointF(6 + (y % 7), y), QPointF(kConditionsPictureWidth - 6 - (y % 5), y));
    }
}

void drawCondition(QPainter& p, const QString& c) {
    const bool grey = c == QLatin1String("overcast") || c == QLatin1String("rain") ||
                      c == QLatin1String("snow") || c == QLatin1String("thunder") ||
                      c == QLatin1String("fog") || c == QLatin1String("unknown");
    p.fillRect(QRect(0, 0, kConditionsPictureWidth, kConditionsPictureHeight),
               grey ? kGreySky : kClearSky);
    if (c == QLatin1String("clear") || c == QLatin1String("wind")) {
        drawSun(p, {27, 25}, 12);
    } else if (c == QLatin1String("few") || c == QLatin1String("scattered") ||
               c == QLatin1String("broken")) {
        drawSun(p, {20, 20}, 11);
        const double scale = c == QLatin1String("few")         ? 0.8
                             : c == QLatin1String("scattered") ? 1.1
                                                               : 1.5;
        drawCloud(p, {32, 34}, scale, kCloud);
    } else if (c == QLatin1String("fog")) {
        drawBands(p, kCloud, 12, 9);
    } else {
        drawCloud(p, {27, 20}, 1.6, c == QLatin1String("overcast") ? kCloud : kDarkCloud);
    }
    if (c == QLatin1String("rain")) {
        drawStreaks(p, QColor(90, 160, 255), -3, 10);
    } else if (c == QLatin1String("snow")) {
        drawFlakes(p);
    } else if (c == QLatin1String("thunder")) {
        drawBolt(p);
    } else if (c == QLatin1String("wind")) {
        drawBands(p, Qt::white, 40, 6);
    }
}

} // namespace

QByteArray conditionsPictureJpeg(const QString& conditionClass) {
    QImage image(kConditionsPictureWidth, kConditionsPictureHeight, QImage::Format_RGB32);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawCondition(p, conditionClass);
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", kJpegQuality);
    return jpeg;
}

} // namespace nimbuscope
