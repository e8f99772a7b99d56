#include "display/ClockText.h"

#include <QRegularExpression>
#include <QStringList>

namespace nimbuscope {

namespace {

/// A time-zone field ("t" to "tttt") with the blanks and brackets that set it apart.
const QRegularExpression kZoneField(QStringLiteral("\\s*\\(?t+\\)?\\s*"));

/// `format` without its time-zone fields; text quoted in it is left as it is.
QString withoutZone(const QString& format) {
    QStringList parts = format.split(QLatin1Char('\''));
    for (qsizetype i = 0; i < parts.size(); i += 2) { // the even parts lie outside quotes
        parts[i].replace(kZoneField, QStringLiteral(" "));
    }
    return parts.join(QLatin1Char('\'')).trimmed();
}

} // namespace

QString localLongTime(DateTime moment, const QLocale& locale) {
    return locale.toString(moment.toQDateTime().time(),
                           withoutZone(locale.timeFormat(QLocale::LongFormat)));
}

} // namespace nimbuscope
