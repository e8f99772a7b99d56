#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace nimbuscope {

/// Pure readers of the NWS map server's WMS capabilities and the formulas the bridge builds
/// its map requests from.

/// A box in degrees of latitude and longitude.
struct GeoBox {
    double west = 0.0;
    double south = 0.0;
    double east = 0.0;
    double north = 0.0;

    bool contains(const GeoBox& inner) const {
        return inner.west >= west && inner.east <= east && inner.south >= south &&
               inner.north <= north;
    }
    bool contains(double lat, double lon) const {
        return lat >= south && lat <= north && lon >= west && lon <= east;
    }
    double centreLat() const { return (south + north) / 2.0; }
    double centreLon() const { return (west + east) / 2.0; }
};

/// One time-enabled layer of a workspace, as the capabilities describe it.
struct MapLayer {
    QString workspace; ///< "klwx", "conus"
    QString name;      ///< "klwx_bref_raw", without the workspace
    QString style;     ///< its first style; empty asks for the server's default
    /// Exact time strings as the server wrote them (intervals expanded), oldest first.
    QStringList times;
    std::optional<GeoBox> extent;
};

/// The workspace of the national mosaic, whose reflectivity layer serves where a site's own
/// layer does not reach.
inline constexpr QLatin1StringView kMosaicWorkspace{"conus"};

/// The base reflectivity layer of `workspace` that has times: `<ws>_sr_bref` before
/// `<ws>_bref_raw` before any other of the workspace's layers whose name holds "bref".
/// Nothing when the document is not capabilities (an XML error body, an HTML error page) or
/// names no such layer.
std::optional<MapLayer> findReflectivityLayer(const QByteArray& xml, const QString& workspace);

/// The instants of one time dimension value: a comma list of instants and of
/// "start/end/period" intervals, each instant kept as written (an interval's instants in the
/// start's form). At most `limit` of the newest are kept.
QStringList expandTimeDimension(const QString& value, qsizetype limit);
/// An ISO 8601 instant ("2026-08-17T20:50:22.000Z"); invalid when it is not one.
QDateTime parseInstant(const QString& text);

/// A Web Mercator box (EPSG:3857 metres) centred on a place, `rangeNmi` to the top and
/// bottom edges on the ground (hence widened by 1/cos(latitude)), as wide as `width` to
/// `height` pixels make it.
struct MercatorBox {
    double minX, minY, maxX, maxY;
};
MercatorBox webMercatorBox(double lat, double lon, double rangeNmi, int width, int height);
/// The degrees a Web Mercator box spans.
GeoBox geoBoxOf(const MercatorBox& box);

/// True when a frame of `box` around the site would run past the site layer's extent, so
/// that its edges would stay empty; false when the layer gives no extent.
bool reachesPastLayer(const MapLayer& siteLayer, const MercatorBox& box);

QString capabilitiesURL(const QString& mapServerURL, const QString& workspace);
/// GetMap for `layer` at `time`, copied exactly from the layer's list.
QString getMapURL(const QString& mapServerURL, const MapLayer& layer, const MercatorBox& box,
                  int width, int height, const QString& time);

} // namespace nimbuscope
