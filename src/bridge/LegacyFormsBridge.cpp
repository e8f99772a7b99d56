#include "bridge/LegacyFormsBridge.h"

#include "retrieval/ConditionsPicture.h"

#include <QUrl>

namespace nimbuscope {

namespace {

using namespace http_status;

/// What the old search answered when it could not place a text.
QByteArray noMatchPage() {
    return QByteArrayLiteral(
        "<html>\n<head>\n<title>National Weather Service - Location Search</title>\n</head>\n"
        "<body>\n<img src=\"/images/error.jpg\" alt=\"\">\n<b>An error has occurred in your "
        "search.</b> No location was found. Please enter a five digit zip code.\n</body>\n"
        "</html>\n");
}

QString hostOf(const QString& address) {
    return QUrl(address).host();
}

/// The service's verdict on the request itself (a point it does not cover, say); 403 and
/// 429 refuse us for now and say nothing about the place.
bool isClientRefusal(const BridgeAnswer& a) {
    return a.answered && a.status >= kFirstClientError && !a.turnedAway();
}

} // namespace

LegacyFormsBridge::LegacyFormsBridge(BridgeConfig config, BridgeTransport& transport)
    : config_(std::move(config)), transport_(transport, bridgeBaseMappings(config_)),
      frames_(config_, transport_, [this](const QString& site) { return placeOfSite(site); }) {}

QDateTime LegacyFormsBridge::now() const {
    return config_.utcNow();
}

bool LegacyFormsBridge::isFresh(const QDateTime& learnt) const {
    const qint64 age = learnt.secsTo(now());
    return age >= 0 && age < kPlaceKeepSeconds;
}

void LegacyFormsBridge::loadKept() {
    if (keptLoaded_) {
        return;
    }
    keptLoaded_ = true;
    keepFolder_ = config_.keepFolder ? config_.keepFolder() : nullptr;
    if (!keepFolder_) {
        return;
    }
    bool clean = false;
    KeptPlaces read = readKeptPlaces(keepFolder_.get(), now(), kPlaceKeepSeconds, &clean);
    // What this run learnt before the first need wins over the file.
    read.places.merge(kept_.places);
    read.searches.merge(kept_.searches);
    kept_ = std::move(read);
    if (!clean) {
        saveKept(); // a damaged, foreign or outdated file is replaced by what holds
    }
}

void LegacyFormsBridge::saveKept() {
    if (!keepFolder_) {
        return;
    }
    std::erase_if(kept_.places, [this](const auto& e) { return !isFresh(e.second.learnt); });
    std::erase_if(kept_.searches, [this](const auto& e) { return !isFresh(e.second.learnt); });
    writeKeptPlaces(keepFolder_.get(), kept_);
}

bool LegacyFormsBridge::handles(const QString& address) const {
    return config_.enabled &&
           classifyLegacyRequest(address, config_.noaaHosts).form != LegacyForm::None;
}

void LegacyFormsBridge::start(const QString& address, Done done) {
    const LegacyRequest r = classifyLegacyRequest(address, config_.noaaHosts);
    switch (r.form) {
    case LegacyForm::LocationSearch:
        answerLocationSearch(r, hostOf(address), std::move(done));
        return;
    case LegacyForm::LocationPage:
        answerLocationPage({r.lat, r.lon}, hostOf(address), std::move(done));
        return;
    case LegacyForm::FrameList:
        frames_.answerList(r, std::move(done));
        return;
    case LegacyForm::Frame:
        frames_.answerFrame(r, std::move(done));
        return;
    case LegacyForm::ConditionsImage:
        done(isConditionClass(r.conditionClass)
                 ? BridgeResult::answered(conditionsPictureJpeg(r.conditionClass), address)
                 : BridgeResult::failed());
        return;
    case LegacyForm::None:
        break;
    }
    done(BridgeResult::failed());
}

void LegacyFormsBridge::answerLocationSearch(const LegacyRequest& r, const QString& host,
                                             Done done) {
    loadKept();
    if (const auto it = kept_.searches.find(r.query);
        it != kept_.searches.end() && isFresh(it->second.learnt)) {
        answerLocationPage(it->second.where, host, std::move(done));
        return;
    }
    BridgeGet get;
    get.url = config_.locationSearchURL + QStringLiteral("?inputstring=") +
              QString::fromLatin1(QUrl::toPercentEncoding(r.query));
    get.followRedirects = false;
    transport_.get(get, [this, query = r.query, host, done](const BridgeAnswer& a) {
        if (!a.answered || a.status >= kFirstServerError) {
            done(BridgeResult::failed(a));
            return;
        }
        const auto where =
            a.redirected() ? latLonFromAddress(QString::fromLatin1(a.location)) : std::nullopt;
        if (!where) {
            done(BridgeResult::answered(noMatchPage(), config_.locationSearchURL));
            return;
        }
        kept_.searches[query] = KeptSearch{*where, now()};
        saveKept();
        answerLocationPage(*where, host, done);
    });
}

QString LegacyFormsBridge::placeKey(LatLon where) const {
    // The points service takes at most four decimals: places closer than that are one.
    return QString::number(where.lat, 'f', 4) + QLatin1Char(',') +
           QString::number(where.lon, 'f', 4);
}

void LegacyFormsBridge::withPlace(LatLon where, PlaceNext next) {
    loadKept();
    const QString key = placeKey(where);
    if (const auto it = kept_.places.find(key);
        it != kept_.places.end() && isFresh(it->second.learnt) && !it->second.stations.isEmpty()) {
        next(&it->second, {});
        return;
    }
    BridgeGet get;
    get.url = pointsURL(config_.apiURL, where.lat, where.lon);
    get.api = true;
    get.conditional = true;
    transport_.get(get, [this, key, next](const BridgeAnswer& a) {
        const auto point = a.ok() ? parsePoints(a.body) : std::nullopt;
        if (!point) {
            next(nullptr, a);
            return;
        }
        kept_.places[key] = Place{*point, {}, now()};
        withStations(key, next);
    });
}

void LegacyFormsBridge::withStations(const QString& key, PlaceNext next) {
    const QString list = kept_.places[key].point.observationStations;
    if (list.isEmpty()) {
        next(&kept_.places[key], {}); // a place without stations still has its radar, or none
        return;
    }
    BridgeGet get;
    get.url = list;
    get.api = true;
    get.conditional = true;
    transport_.get(get, [this, key, next](const BridgeAnswer& a) {
        Place& place = kept_.places[key];
        place.stations = a.ok() ? parseStationList(a.body) : QStringList();
        if (!place.stations.isEmpty()) {
            saveKept();
        }
        // Without stations the place is asked again next time.
        next(&place, {});
    });
}

void LegacyFormsBridge::observe(const QStringList& stations, int index,
                                std::function<void(std::optional<Observation>)> next) {
    if (index >= stations.size() || index >= kMaxStationsTried) {
        next(std::nullopt); // nothing current: no temperature and no text rather than old ones
        return;
    }
    BridgeGet get;
    get.url = latestObservationURL(config_.apiURL, stations[index]);
    get.api = true;
    get.conditional = true;
    transport_.get(get, [this, stations, index, next](const BridgeAnswer& a) {
        if (!a.answered) {
            next(std::nullopt); // the network failed (or the pass was stopped): no more stations
            return;
        }
        const auto obs = a.ok() ? parseObservation(a.body) : std::nullopt;
        if (obs && isCurrentObservation(*obs, now())) {
            next(obs);
            return;
        }
        observe(stations, index + 1, next);
    });
}

LegacyLocationFacts LegacyFormsBridge::factsFor(const Place& place,
                                                const std::optional<Observation>& obs,
                                                const QString& host) const {
    LegacyLocationFacts facts;
    facts.noRadar = !place.point.hasRadar();
    facts.radarPageURL = legacyRadarPageURL(
        config_.radarHost, facts.noRadar ? QString(kNoRadarSite) : place.point.radarStation);
    facts.cityState = place.point.cityState();
    // Without a current observation the picture is the unknown one, not the last one shown.
    facts.conditionsImageURL = legacyConditionsImageURL(
        host, obs ? conditionClass(obs->text, obs->icon) : QStringLiteral("unknown"));
    if (obs) {
        facts.forecast = obs->text;
        if (obs->temperatureF) {
            facts.temperatureF = wholeDegrees(*obs->temperatureF);
        }
    }
    return facts;
}

void LegacyFormsBridge::answerLocationPage(LatLon where, const QString& host, Done done) {
    withPlace(where, [this, where, host, done](const Place* place, const BridgeAnswer& a) {
        if (place == nullptr) {
            // A point the service does not cover is no match; anything else a failure.
            done(isClientRefusal(a) || a.ok()
                     ? BridgeResult::answered(noMatchPage(), config_.locationSearchURL)
                     : BridgeResult::failed(a));
            return;
        }
        const Place copy = *place;
        observe(copy.stations, 0, [this, copy, where, host, done](std::optional<Observation> obs) {
            done(BridgeResult::answered(legacyLocationPage(factsFor(copy, obs, host)),
                                        legacyLocationPageURL(host, where)));
        });
    });
}

std::optional<LatLon> LegacyFormsBridge::placeOfSite(const QString& site) const {
    // Without the layer's extent, the place whose radar this is stands in for the site: one
    // looked up in this run, else the location the settings keep.
    for (const auto& [key, place] : kept_.places) {
        if (place.point.radarStation == site) {
            const QStringList parts = key.split(QLatin1Char(','));
            return LatLon{parts[0].toDouble(), parts[1].toDouble()};
        }
    }
    return config_.storedLocationURL ? latLonFromAddress(config_.storedLocationURL())
                                     : std::nullopt;
}

} // namespace nimbuscope
