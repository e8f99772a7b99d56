#include "support/DateTime.h"

#include <cmath>

namespace nimbuscope {

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kMsPerDay = kSecondsPerDay * 1000.0;
const QDate kEpoch(1899, 12, 30);

// Milliseconds since the epoch, rounded to the nearest millisecond so that the binary
// fraction of a day does not turn 12:00:00 into 11:59:59.999.
qint64 toMs(double days) { return std::llround(days * kMsPerDay); }

} // namespace

DateTime DateTime::fromParts(int year, int month, int day, int hour, int minute, int second,
                             int msec) {
    const qint64 dayCount = kEpoch.daysTo(QDate(year, month, day));
    const qint64 ms = ((qint64(hour) * 60 + minute) * 60 + second) * 1000 + msec;
    return DateTime(double(dayCount) + double(ms) / kMsPerDay);
}

DateTime DateTime::fromQDateTime(const QDateTime& dt) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    return fromParts(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec());
}

QDateTime DateTime::toQDateTime() const {
    const qint64 ms = toMs(days_);
    qint64 dayCount = ms / qint64(kMsPerDay);
    qint64 rest = ms % qint64(kMsPerDay);
    if (rest < 0) {
        rest += qint64(kMsPerDay);
        --dayCount;
    }
    return QDateTime(kEpoch.addDays(dayCount), QTime::fromMSecsSinceStartOfDay(int(rest)),
                     Qt::UTC);
}

bool DateTime::isValid() const {
    if (!std::isfinite(days_)) {
        return false;
    }
    const int year = toQDateTime().date().year();
    return year >= 100 && year <= 9999;
}

DateTime DateTime::addSeconds(double seconds) const {
    return DateTime(days_ + seconds / kSecondsPerDay);
}

QString DateTime::generalDate() const {
    const QDateTime dt = toQDateTime();
    return dt.date().toString(QStringLiteral("M/d/yyyy")) + QLatin1Char(' ') + longTime();
}

QString DateTime::longTime() const {
    return toQDateTime().time().toString(QStringLiteral("h:mm:ss AP"));
}

qint64 wholeSecondsBetween(DateTime from, DateTime to) {
    return (toMs(to.days()) - toMs(from.days())) / 1000;
}

} // namespace nimbuscope
