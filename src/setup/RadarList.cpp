#include "setup/RadarList.h"

#include "acquisition/LocationPage.h"
#include "support/Error.h"
#include "support/StringUtils.h"

namespace nimbuscope {

namespace {

constexpr QChar kQuote = QLatin1Char('"');
constexpr char kSiteMarker[] = "http://";
constexpr char kStateMarker[] = "STATE:";
// "STATE: " is seven characters; the state's name follows.
constexpr qsizetype kStateNameOffset = 7;
// The city's field is looked for from the fifth character on, past the address's quotes.
constexpr qsizetype kCityFieldSearchFrom = 4;
constexpr char kCityIndent[] = "    ";

QString itemText(const RadarSiteEntry& entry) {
    if (!entry.city.isEmpty()) {
        return QLatin1String(kCityIndent) + entry.city;
    }
    return QStringLiteral("--- ") + entry.state + QStringLiteral(" ---");
}

} // namespace

QList<QByteArray> radarListLines(const QByteArray& bytes) {
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n') {
            continue;
        }
        lines.append(bytes.mid(start, i - start));
        if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < bytes.size()) {
        lines.append(bytes.mid(start));
    }
    return lines;
}

std::optional<RadarSiteEntry> parseRadarSiteLine(const QString& line, const QString& state) {
    // The address runs from the second character to the next quote.
    const qsizetype addressEnd = line.indexOf(kQuote, 1);
    if (addressEnd < 0) {
        return std::nullopt;
    }
    const QString address = line.mid(1, addressEnd - 1);

    // The city is the field after the first quote found from the fifth character on.
    QString rest = line;
    if (const qsizetype q = line.indexOf(kQuote, kCityFieldSearchFrom); q >= 0) {
        rest = line.mid(q + 1);
    }
    const qsizetype cityStart = rest.indexOf(kQuote);
    if (cityStart < 0) {
        return std::nullopt;
    }
    rest = rest.mid(cityStart + 1);
    const qsizetype cityEnd = rest.indexOf(kQuote);
    if (cityEnd < 0) {
        return std::nullopt;
    }

    // The zip code is the last field: from the quote before the closing one to the end.
    const qsizetype zipStart = line.size() >= 3 ? line.lastIndexOf(kQuote, line.size() - 3) : -1;
    if (zipStart < 0) {
        return std::nullopt;
    }
    const QString zipField = line.mid(zipStart);
    return RadarSiteEntry{rest.left(cityEnd), state, zipField.mid(1, zipField.size() - 2),
                          radarTemplateFromPageURL(address)};
}

RadarListRead parseRadarList(const QByteArray& bytes) {
    RadarListRead read;
    RadarSiteEntry current;
    for (const QByteArray& raw : radarListLines(bytes)) {
        if (read.list.items.size() >= RadarList::kCapacity) {
            break;
        }
        const QString line = ansiToText(raw);
        if (line.contains(QLatin1String(kSiteMarker), Qt::CaseInsensitive)) {
            const std::optional<RadarSiteEntry> site = parseRadarSiteLine(line, current.state);
            if (!site) {
                read.stoppedByError = err::InvalidProcedureCall;
                break;
            }
            current = *site;
        } else if (line.contains(QLatin1String(kStateMarker), Qt::CaseInsensitive)) {
            current = RadarSiteEntry{{}, line.mid(kStateNameOffset), {}, {}};
        }
        read.list.items.append(itemText(current));
        read.list.entries.push_back(current);
    }
    return read;
}

bool isStateHeader(const QString& item) {
    return item.startsWith(QLatin1String("---"));
}

} // namespace nimbuscope
