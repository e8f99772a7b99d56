#include "bridge/AlertForms.h"

#include "bridge/CurrentForms.h"
#include "bridge/MapServerForms.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <set>

namespace nimbuscope {

namespace {

constexpr const char* kSeverities[] = {"Extreme", "Severe", "Moderate", "Minor"};
constexpr const char* kUrgencies[] = {"Immediate", "Expected", "Future", "Past"};

template <typename Enum, std::size_t N>
Enum rankOf(const QString& text, const char* const (&names)[N], Enum unknown) {
    for (std::size_t i = 0; i < N; ++i) {
        if (text.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) {
            return Enum(i);
        }
    }
    return unknown;
}

QString text(const QJsonObject& o, const char* name) {
    return o.value(QLatin1String(name)).toString().trimmed();
}

/// The first of `names` that holds an instant.
QDateTime instant(const QJsonObject& o, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (const QDateTime t = parseInstant(text(o, name)); t.isValid()) {
            return t;
        }
    }
    return {};
}

WeatherAlert alertOf(const QJsonObject& p) {
    WeatherAlert a;
    a.id = text(p, "id");
    a.event = text(p, "event");
    a.severity = rankOf(text(p, "severity"), kSeverities, AlertSeverity::Unknown);
    a.urgency = rankOf(text(p, "urgency"), kUrgencies, AlertUrgency::Unknown);
    a.headline = text(p, "headline");
    a.instruction = text(p, "instruction");
    a.messageType = text(p, "messageType");
    a.status = text(p, "status");
    a.onset = instant(p, {"onset", "effective"});
    a.end = instant(p, {"ends", "expires"});
    for (const QJsonValue& ref : p.value(QLatin1String("references")).toArray()) {
        if (const QString id = text(ref.toObject(), "identifier"); !id.isEmpty()) {
            a.references << id;
        }
    }
    return a;
}

bool isCancel(const WeatherAlert& a) {
    return a.messageType.compare(QLatin1String("Cancel"), Qt::CaseInsensitive) == 0;
}

// Test and exercise messages are not weather; a message that does not say counts as actual.
bool isActual(const WeatherAlert& a) {
    return a.status.isEmpty() ||
           a.status.compare(QLatin1String("Actual"), Qt::CaseInsensitive) == 0;
}

} // namespace

std::optional<QList<WeatherAlert>> parseActiveAlerts(const QByteArray& json) {
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(json, &error).object();
    const QJsonValue features = root.value(QLatin1String("features"));
    if (error.error != QJsonParseError::NoError || !features.isArray()) {
        return std::nullopt;
    }
    QList<WeatherAlert> alerts;
    for (const QJsonValue& feature : features.toArray()) {
        const QJsonObject p = feature.toObject().value(QLatin1String("properties")).toObject();
        if (!p.isEmpty()) {
            alerts << alertOf(p);
        }
    }
    return alerts;
}

QList<WeatherAlert> alertsInEffect(const QList<WeatherAlert>& alerts, const QDateTime& utcNow) {
    // An update or a cancellation names the messages it replaces; those are over, even where
    // the answer still lists them.
    std::set<QString> replaced;
    for (const WeatherAlert& a : alerts) {
        replaced.insert(a.references.cbegin(), a.references.cend());
    }
    QList<WeatherAlert> shown;
    for (const WeatherAlert& a : alerts) {
        const bool started = !a.onset.isValid() || a.onset <= utcNow;
        if (!isCancel(a) && isActual(a) && !replaced.contains(a.id) && started && a.end.isValid() &&
            utcNow < a.end) {
            shown << a;
        }
    }
    std::stable_sort(shown.begin(), shown.end(), [](const WeatherAlert& x, const WeatherAlert& y) {
        return std::tuple(x.severity, x.urgency, x.end) < std::tuple(y.severity, y.urgency, y.end);
    });
    return shown;
}

QString severityName(AlertSeverity severity) {
    const auto i = std::size_t(severity);
    return i < std::size(kSeverities) ? QLatin1String(kSeverities[i]) : QStringLiteral("Unknown");
}

bool anySevere(const QList<WeatherAlert>& shown) {
    return std::any_of(shown.cbegin(), shown.cend(), [](const WeatherAlert& a) {
        return a.severity == AlertSeverity::Extreme || a.severity == AlertSeverity::Severe;
    });
}

QString firstSentence(const QString& text) {
    const QString flat = text.simplified();
    // A sentence ends at ".", "!" or "?" followed by a blank or the end of the text.
    static const QRegularExpression end(QStringLiteral(R"([.!?](?=\s|$))"));
    const QRegularExpressionMatch m = end.match(flat);
    return m.hasMatch() ? flat.left(m.capturedEnd()) : flat;
}

QString alertHeadline(const WeatherAlert& alert, const QDateTime& utcNow, qint64 localOffsetSeconds,
                      const QLocale& locale) {
    QString line = alert.event.toUpper();
    if (!alert.end.isValid()) {
        return line;
    }
    const QDateTime localEnd = alert.end.toUTC().addSecs(localOffsetSeconds);
    const QDateTime localNow = utcNow.toUTC().addSecs(localOffsetSeconds);
    const QString day =
        localEnd.date() == localNow.date()
            ? QString()
            : locale.dayName(localEnd.date().dayOfWeek(), QLocale::ShortFormat) + QLatin1Char(' ');
    // Minutes are enough for an end; some locales' short format carries seconds too.
    QString format = locale.timeFormat(QLocale::ShortFormat);
    format.remove(QStringLiteral(":ss"));
    return line + QStringLiteral(" until ") + day + locale.toString(localEnd.time(), format);
}

QString activeAlertsURL(const QString& apiURL, LatLon where) {
    return apiURL + QStringLiteral("alerts/active?point=") + canonicalCoordinate(where.lat) +
           QLatin1Char(',') + canonicalCoordinate(where.lon);
}

} // namespace nimbuscope
