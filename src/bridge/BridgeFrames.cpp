#include "bridge/BridgeFrames.h"

#include "bridge/CurrentForms.h"

#include <QLocale>

namespace nimbuscope {

namespace {

constexpr char kStillPrefix[] = "still:";
constexpr qint64 kSecondsPerHour = 3600;

QDateTime httpDate(const QByteArray& text) {
    return QLocale::c()
        .toDateTime(QString::fromLatin1(text.trimmed()),
                    QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"))
        .toUTC();
}

QString listKey(const LegacyRequest& r) {
    return r.site + QLatin1Char(' ') + r.product;
}

BridgeResult unavailable() {
    return BridgeResult::answered(legacyUnavailableFrame());
}

} // namespace

BridgeFrames::BridgeFrames(const BridgeConfig& config, BridgeTransport& transport,
                           FallbackCentre fallback)
    : config_(config), transport_(transport), fallback_(std::move(fallback)) {}

QDateTime BridgeFrames::now() const {
    return config_.utcNow();
}

bool BridgeFrames::isFresh(const QDateTime& at) const {
    const qint64 age = at.secsTo(now());
    return at.isValid() && age >= 0 && age < kReuseSeconds;
}

double BridgeFrames::rangeNmi(const QString& product) {
    return product == QLatin1String("DS.p20-r") ? kLongRangeNmi : kShortRangeNmi;
}

bool BridgeFrames::mosaicServes(const MapLayer& siteLayer, const MapLayer& mosaic, LatLon site) {
    const MercatorBox box =
        webMercatorBox(site.lat, site.lon, kLongRangeNmi, kFrameWidth, kFrameHeight);
    return reachesPastLayer(siteLayer, box) && mosaic.extent &&
           mosaic.extent->contains(site.lat, site.lon);
}

QStringList BridgeFrames::placeholderFrameNames(const QDateTime& utcNow) {
    const qint64 seconds = utcNow.toSecsSinceEpoch();
    const QDateTime hour =
        QDateTime::fromSecsSinceEpoch(seconds - seconds % kSecondsPerHour, Qt::UTC);
    // Two lines: a list of one is too short for the saver to read.
    return {legacyFrameName(kNoRadarSite, hour.addSecs(-kStillStepSeconds)),
            legacyFrameName(kNoRadarSite, hour)};
}

void BridgeFrames::answerList(const LegacyRequest& r, Done done) {
    if (r.site == kNoRadarSite) {
        done(BridgeResult::answered(
            legacyFrameListText(r.product, r.site, placeholderFrameNames(now()))));
        return;
    }
    withCapabilities(r.site.toLower(),
                     [this, r, done](const std::optional<MapLayer>& layer, bool networkFailed) {
                         if (networkFailed) {
                             done(BridgeResult::failed()); // the stills would fail alike
                         } else if (layer) {
                             answerFromLayer(r, *layer, done);
                         } else {
                             answerFromStills(r, done);
                         }
                     });
}

void BridgeFrames::answerFromLayer(const LegacyRequest& r, const MapLayer& siteLayer, Done done) {
    const auto site = centreOf(r.site);
    if (rangeNmi(r.product) != kLongRangeNmi || !site ||
        !reachesPastLayer(siteLayer, webMercatorBox(site->lat, site->lon, kLongRangeNmi,
                                                    kFrameWidth, kFrameHeight))) {
        listFrom(r, siteLayer, done);
        return;
    }
    withCapabilities(kMosaicWorkspace, [this, r, siteLayer, site,
                                        done](const std::optional<MapLayer>& mosaic, bool) {
        listFrom(r, mosaic && mosaicServes(siteLayer, *mosaic, *site) ? *mosaic : siteLayer, done);
    });
}

void BridgeFrames::listFrom(const LegacyRequest& r, const MapLayer& layer, Done done) {
    ProductFrames& list = lists_[listKey(r)];
    list = ProductFrames{layer, {}};
    QStringList names;
    const qsizetype skipped = std::max<qsizetype>(0, layer.times.size() - kListFrames);
    for (const QString& time : layer.times.mid(skipped)) {
        const QString name = legacyFrameName(r.site, parseInstant(time));
        if (!names.contains(name)) {
            names << name;
        }
        list.frames[name] = time; // the later of two in one minute wins
    }
    done(BridgeResult::answered(legacyFrameListText(r.product, r.site, names)));
}

void BridgeFrames::withCapabilities(const QString& workspace, LayerNext next) {
    if (const auto it = capabilities_.find(workspace);
        it != capabilities_.end() && isFresh(it->second.at)) {
        next(it->second.layer, false);
        return;
    }
    BridgeGet get;
    get.url = capabilitiesURL(config_.mapServerURL, workspace);
    get.conditional = true;
    transport_.get(get, [this, workspace, next](const BridgeAnswer& a) {
        if (!a.answered && !a.refused) {
            next(std::nullopt, true);
            return;
        }
        // An unusable answer is kept too: the other list of the pass does not ask again.
        const auto layer = a.ok() ? findReflectivityLayer(a.body, workspace) : std::nullopt;
        capabilities_[workspace] = Capabilities{now(), layer};
        next(layer, false);
    });
}

void BridgeFrames::withStills(const QString& site, StillsNext next) {
    if (const auto it = stills_.find(site); it != stills_.end() && isFresh(it->second.at)) {
        next(&it->second, {});
        return;
    }
    BridgeGet get;
    get.url = stillURL(config_.stillsURL, site, 0);
    get.conditional = true;
    transport_.get(get, [this, site, next](const BridgeAnswer& a) {
        if (!a.ok() || !isGifAnswer(a.contentType, a.body)) {
            next(nullptr, a);
            return;
        }
        QDateTime newest = httpDate(a.lastModified);
        if (!newest.isValid()) {
            newest = now(); // the time first seen: the stills carry theirs only in the picture
        }
        Stills& stills = stills_[site];
        stills = Stills{now(), newest, {{0, a.body}}};
        next(&stills, a);
    });
}

void BridgeFrames::answerFromStills(const LegacyRequest& r, Done done) {
    withStills(r.site, [this, r, done](const Stills* stills, const BridgeAnswer& a) {
        if (stills == nullptr) {
            done(BridgeResult::failed(a));
            return;
        }
        ProductFrames& list = lists_[listKey(r)];
        list = ProductFrames{};
        QStringList names;
        for (int i = kStillCount - 1; i >= 0; --i) {
            const QString name =
                legacyFrameName(r.site, stills->newest.addSecs(-i * kStillStepSeconds));
            list.frames[name] = QLatin1String(kStillPrefix) + QString::number(i);
            names << name;
        }
        done(BridgeResult::answered(legacyFrameListText(r.product, r.site, names)));
    });
}

void BridgeFrames::answerFrame(const LegacyRequest& r, Done done) {
    if (r.site == kNoRadarSite) {
        done(BridgeResult::answered(noRadarFrame()));
        return;
    }
    const auto list = lists_.find(listKey(r));
    QString time;
    if (list != lists_.end()) {
        if (const auto frame = list->second.frames.find(r.frameName);
            frame != list->second.frames.end()) {
            time = frame->second;
        }
    }
    if (time.isEmpty()) {
        // Not a frame of the last list: what the old server said of a frame it no longer had.
        done(unavailable());
        return;
    }
    if (time.startsWith(QLatin1String(kStillPrefix))) {
        answerStill(r.site, time.mid(qsizetype(sizeof kStillPrefix) - 1).toInt(), done);
    } else if (list->second.layer) {
        answerMap(r, *list->second.layer, time, done);
    } else {
        done(unavailable());
    }
}

void BridgeFrames::answerMap(const LegacyRequest& r, const MapLayer& layer, const QString& time,
                             Done done) {
    const auto centre = centreOf(r.site);
    if (!centre) {
        done(unavailable());
        return;
    }
    const MercatorBox box =
        webMercatorBox(centre->lat, centre->lon, rangeNmi(r.product), kFrameWidth, kFrameHeight);
    BridgeGet get;
    get.url = getMapURL(config_.mapServerURL, layer, box, kFrameWidth, kFrameHeight, time);
    transport_.get(get, [done](const BridgeAnswer& a) {
        if (!a.answered) {
            done(BridgeResult::failed(a));
        } else if (a.ok() && isGifAnswer(a.contentType, a.body)) {
            done(BridgeResult::answered(padGif(a.body)));
        } else {
            // An XML error body or a rendering failure: this frame is not to be shown.
            done(unavailable());
        }
    });
}

void BridgeFrames::answerStill(const QString& site, int index, Done done) {
    Stills& stills = stills_[site];
    if (const auto kept = stills.bodies.find(index); kept != stills.bodies.end()) {
        done(BridgeResult::answered(padGif(kept->second)));
        return;
    }
    BridgeGet get;
    get.url = stillURL(config_.stillsURL, site, index);
    transport_.get(get, [this, site, index, done](const BridgeAnswer& a) {
        if (!a.answered) {
            done(BridgeResult::failed(a));
        } else if (a.ok() && isGifAnswer(a.contentType, a.body)) {
            // Both products' lists name the same stills: the second asks for none again.
            stills_[site].bodies[index] = a.body;
            done(BridgeResult::answered(padGif(a.body)));
        } else {
            done(unavailable());
        }
    });
}

std::optional<LatLon> BridgeFrames::centreOf(const QString& site) const {
    if (const auto it = capabilities_.find(site.toLower());
        it != capabilities_.end() && it->second.layer && it->second.layer->extent) {
        const GeoBox& extent = *it->second.layer->extent;
        return LatLon{extent.centreLat(), extent.centreLon()};
    }
    return fallback_ ? fallback_(site) : std::nullopt;
}

QByteArray BridgeFrames::noRadarFrame() const {
    const QByteArray picture = config_.noRadarPicture ? config_.noRadarPicture() : QByteArray();
    return picture.isEmpty() ? legacyUnavailableFrame() : picture;
}

} // namespace nimbuscope
