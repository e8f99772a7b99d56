#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace nimbuscope {

/// The retired page, list and image forms the saver asks NOAA's hosts for, and the pure
/// writers that rebuild them byte for byte from today's facts.
enum class LegacyForm {
    None,            ///< not a retired form: fetched as it stands
    LocationSearch,  ///< zipcity.php?inputstring=<query>
    LocationPage,    ///< MapClick.php?lat=..&lon=.. (the search's final address)
    FrameList,       ///< radar/loopdata/<product>/<site>.txt
    Frame,           ///< radar/images/<product>/SI.<site>/<frame name>.gif
    ConditionsImage, ///< the conditions picture the location page names
};

struct LegacyRequest {
    LegacyForm form = LegacyForm::None;
    QString query;          ///< LocationSearch: the search text
    double lat = 0.0;       ///< LocationPage
    double lon = 0.0;       ///< LocationPage
    QString product;        ///< FrameList, Frame: "DS.p19r0" or "DS.p20-r"
    QString site;           ///< FrameList, Frame: upper case, "KTOP"
    QString frameName;      ///< Frame: "SI.KTOP.dd.20261206.2245"
    QString conditionClass; ///< ConditionsImage
};

/// Decides whether `address` asks one of NOAA's `hosts` for a retired form, and which.
/// Addresses on any other host, and unknown paths, are `None`.
LegacyRequest classifyLegacyRequest(const QString& address, const QStringList& hosts);

/// The latitude and longitude a location-search redirect names: "lat=..&lon=.." or
/// "textField1=LAT&textField2=LON" in its query.
struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
};
std::optional<LatLon> latLonFromAddress(const QString& address);

/// "http://forecast.weather.gov/MapClick.php?lat=39.0997&lon=-94.5786": where a bridged
/// search says it led, so that the stored address comes back to the bridge on later passes.
QString legacyLocationPageURL(const QString& forecastHost, LatLon where);
/// "http://forecast.weather.gov/bridge/conditions/sct.jpg".
QString legacyConditionsImageURL(const QString& forecastHost, const QString& conditionClass);
/// "http://radar.weather.gov/radar/latest/DS.p19r0/si.ktop.shtml".
QString legacyRadarPageURL(const QString& radarHost, const QString& site);

/// The radar site the rebuilt page names for a place no radar covers: its lists hold the
/// "Radar image unavailable" picture instead of frames. No radar site has this name.
inline constexpr QLatin1StringView kNoRadarSite{"NONE"};
/// The notice the rebuilt page carries for a place no radar covers.
inline constexpr QLatin1StringView kNoRadarNotice{"No NOAA radar covers this location."};
/// True when a location page is the bridge's answer for a place no radar covers.
bool isNoRadarPage(const QString& page);

/// What the rebuilt location page says.
struct LegacyLocationFacts {
    bool noRadar = false; ///< names kNoRadarSite and carries kNoRadarNotice
    QString radarPageURL;
    QString cityState;          ///< "Topeka, KS"
    QString conditionsImageURL; ///< empty: the page has no conditions picture
    QString forecast;           ///< the observation's text
    std::optional<int> temperatureF;
};
/// A location page in the old form with every marker the parsers read: the city before the
/// skip link and after "For:", the absolute radar page link, the forecast marker beyond
/// character 250 followed by the conditions picture and its text, and the temperature cell
/// beyond character 4000.
QByteArray legacyLocationPage(const LegacyLocationFacts& facts);

/// "SI.KTOP.dd.20261206.2245" for a frame taken at `utc` (seconds dropped).
QString legacyFrameName(const QString& site, const QDateTime& utc);
/// The loop list: one relative line per frame name, oldest first, each ended by a line feed.
QByteArray legacyFrameListText(const QString& product, const QString& site,
                               const QStringList& frameNames);

/// The saver takes a frame file shorter than this for the server's radar-unavailable answer.
inline constexpr qsizetype kLegacyMinFrameBytes = 6000;
/// A GIF grown to at least `minBytes` with comment blocks before its trailer, so that a
/// small picture (a clear sky without a base map compresses to a few kilobytes) is not taken
/// for the unavailable answer. Anything that does not end in the GIF trailer is left alone.
QByteArray padGif(const QByteArray& gif, qsizetype minBytes = kLegacyMinFrameBytes);

/// The body of a frame the bridge cannot deliver: short, ending in a line feed, so the saver
/// takes it for the server's radar-unavailable answer and keeps the frame out of the loop.
QByteArray legacyUnavailableFrame();

} // namespace nimbuscope
