#pragma once

#include <QDateTime>
#include <QString>

namespace nimbuscope {

/// A moment as the system counts it: days since 30 December 1899, the fraction being the
/// time of day. Moments carry no time zone; whether one is local or GMT is the caller's.
class DateTime {
public:
    constexpr DateTime() = default;
    constexpr explicit DateTime(double days) : days_(days) {}

    static DateTime fromParts(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0, int msec = 0);
    /// Takes the wall-clock fields of `dt` as they stand.
    static DateTime fromQDateTime(const QDateTime& dt);
    /// A QDateTime in UTC spec holding the same wall-clock fields.
    QDateTime toQDateTime() const;

    constexpr double days() const { return days_; }
    /// Whether the moment lies within the years 100 to 9999, as a date can.
    bool isValid() const;

    DateTime addSeconds(double seconds) const;
    DateTime addMinutes(double minutes) const { return addSeconds(minutes * 60.0); }

    /// "12/5/2026 9:35:29 PM": short date, then long time.
    QString generalDate() const;
    /// "9:35:29 PM".
    QString longTime() const;

    friend constexpr bool operator==(DateTime a, DateTime b) { return a.days_ == b.days_; }
    friend constexpr auto operator<=>(DateTime a, DateTime b) { return a.days_ <=> b.days_; }

private:
    double days_ = 0.0;
};

/// Whole seconds from `from` to `to`, truncated toward zero, never rounded up: 59.9 s is 59.
qint64 wholeSecondsBetween(DateTime from, DateTime to);

} // namespace nimbuscope
