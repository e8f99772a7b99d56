#pragma once

#include "bridge/LegacyForms.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace nimbuscope {

/// Pure readers and rules of the weather service's active alerts (`/alerts/active?point=`).

/// In the order alerts are shown: the most severe first.
enum class AlertSeverity { Extreme, Severe, Moderate, Minor, Unknown };
/// In the order alerts of one severity are shown: the most urgent first.
enum class AlertUrgency { Immediate, Expected, Future, Past, Unknown };

/// One alert of an active-alerts answer.
struct WeatherAlert {
    QString id;
    QString event; ///< "Tornado Warning"
    AlertSeverity severity = AlertSeverity::Unknown;
    AlertUrgency urgency = AlertUrgency::Unknown;
    QString headline;
    QString instruction;    ///< may be empty
    QString messageType;    ///< "Alert", "Update" or "Cancel"
    QString status;         ///< "Actual", or "Test", "Exercise", ...
    QDateTime onset;        ///< `onset`, else `effective`; invalid when neither is given
    QDateTime end;          ///< `ends`, else `expires`; invalid when neither is given
    QStringList references; ///< identifiers of the earlier messages this one replaces
};

/// The alerts of an answer in its own order; nothing when the body is not an alerts
/// collection (a problem answer, an HTML page, a cut-off body).
std::optional<QList<WeatherAlert>> parseActiveAlerts(const QByteArray& json);

/// What is shown at `utcNow`: actual alerts in effect (onset at or before now, now before
/// their end), neither cancelled nor replaced by another message of the same answer, most
/// severe first, then most urgent, then the soonest end. An alert without an end is not
/// shown: nothing would take it off the screen.
QList<WeatherAlert> alertsInEffect(const QList<WeatherAlert>& alerts, const QDateTime& utcNow);

/// "Extreme", "Severe", "Moderate", "Minor" or "Unknown".
QString severityName(AlertSeverity severity);

/// True when any alert of `shown` is Extreme or Severe.
bool anySevere(const QList<WeatherAlert>& shown);

/// The first sentence of an alert's text, its line breaks as blanks: "TAKE COVER NOW!".
QString firstSentence(const QString& text);

/// "TORNADO WARNING until 5:45 PM": the event in capitals and its end on the local clock
/// (`localOffsetSeconds` east of UTC) in the short time format of `locale`, with the weekday
/// when the end is not on the day of `utcNow`.
QString alertHeadline(const WeatherAlert& alert, const QDateTime& utcNow, qint64 localOffsetSeconds,
                      const QLocale& locale);

/// `apiURL` + "alerts/active?point=" and the place in the API's canonical form.
QString activeAlertsURL(const QString& apiURL, LatLon where);

} // namespace nimbuscope
