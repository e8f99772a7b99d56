#include "acquisition/LegacyFormsBridge.h"

#include "acquisition/ConditionsPicture.h"
#include "acquisition/PageRetriever.h"
#include "settings/RegistryValues.h"

#include <QLocale>
#include <QUrl>

namespace nimbuscope {

namespace {

constexpr char kStillPrefix[] = "still:";
using namespace http_status;

BridgeResult failed(const BridgeAnswer& answer) {
    return {answer.timedOut ? qint16(PageRetriever::TimedOut)
                            : qint16(PageRetriever::ConnectionFailed),
            {},
            {}};
}

BridgeResult failed() {
    return {qint16(PageRetriever::ConnectionFailed), {}, {}};
}

BridgeResult answered(QByteArray body, const QString& finalUrl) {
    return {qint16(PageRetriever::Done), std::move(body), finalUrl.toLatin1()};
}

/// What the old search answered when it could not place a text.
QByteArray noMatchPage() {
    return QByteArrayLiteral(
        "<html>\n<head>\n<title>National Weather Service - Location Search</title>\n</head>\n"
        "<body>\n<img src=\"/images/error.jpg\" alt=\"\">\n<b>An error has occurred in your "
        "search.</b> No location was found. Please enter a five digit zip code.\n</body>\n"
        "</html>\n");
}

QDateTime httpDate(const QByteArray& text) {
    return QLocale::c()
        .toDateTime(QString::fromLatin1(text.trimmed()),
                    QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"))
        .toUTC();
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

BridgeConfig bridgeConfigFrom(RegistryValues& settings) {
    BridgeConfig c;
    c.enabled = settings.getLegacyFormsBridge() != 0;
    c.locationSearchURL = settings.getBridgeLocationSearchURL();
    c.apiURL = settings.getBridgeApiURL();
    c.mapServerURL = settings.getBridgeMapServerURL();
    c.stillsURL = settings.getBridgeStillsURL();
    c.noaaHosts = RegistryValues::defaultServiceHosts();
    c.storedLocationURL = [&settings] { return settings.getCurrentConditionsURL(); };
    return c;
}

LegacyFormsBridge::LegacyFormsBridge(BridgeConfig config, BridgeTransport& transport)
    : config_(std::move(config)), transport_(transport) {}

QDateTime LegacyFormsBridge::now() const {
    return config_.utcNow ? config_.utcNow() : QDateTime::currentDateTimeUtc();
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
        answerFrameList(r, std::move(done));
        return;
    case LegacyForm::Frame:
        answerFrame(r, std::move(done));
        return;
    case LegacyForm::ConditionsImage:
        if (isConditionClass(r.conditionClass)) {
            done(answered(conditionsPictureJpeg(r.conditionClass), address));
        } else {
            done(failed());
        }
        return;
    case LegacyForm::None:
        break;
    }
    done(failed());
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
            done(failed(a));
            return;
        }
        const auto where =
            a.redirected() ? latLonFromAddress(QString::fromLatin1(a.location)) : std::nullopt;
        if (!where) {
            done(answered(noMatchPage(), config_.locationSearchURL));
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

void LegacyFormsBridge::withPlace(LatLon where,
                                  std::function<void(const Place*, const BridgeAnswer&)> next) {
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

void LegacyFormsBridge::withStations(const QString& key,
                                     std::function<void(const Place*, const BridgeAnswer&)> next) {
    BridgeGet get;
    get.url = kept_.places[key].point.observationStations;
    get.api = true;
    get.conditional = true;
    transport_.get(get, [this, key, next](const BridgeAnswer& a) {
        Place& place = kept_.places[key];
        place.stations = a.ok() ? parseStationList(a.body) : QStringList();
        if (!place.stations.isEmpty()) {
            saveKept();
        }
        // A place without stations still has its radar; it is asked again next time.
        next(&place, {});
    });
}

void LegacyFormsBridge::observe(const QStringList& stations, int index,
                                std::optional<Observation> best,
                                std::function<void(std::optional<Observation>)> next) {
    if (index >= stations.size() || index >= kMaxStationsTried) {
        next(best);
        return;
    }
    BridgeGet get;
    get.url = latestObservationURL(config_.apiURL, stations[index]);
    get.api = true;
    get.conditional = true;
    transport_.get(get, [this, stations, index, best, next](const BridgeAnswer& a) {
        if (!a.answered) {
            next(best); // the network failed (or the pass was stopped): no more stations
            return;
        }
        const auto obs = a.ok() ? parseObservation(a.body) : std::nullopt;
        if (obs && isUsableObservation(*obs, now(), kObservationMaxAgeSeconds)) {
            next(obs);
            return;
        }
        // A stale observation that says something beats none at all.
        const bool saysSomething = obs && (!obs->text.isEmpty() || obs->temperatureC);
        const bool newer = !best || (obs && obs->timestamp > best->timestamp);
        observe(stations, index + 1, saysSomething && newer ? obs : best, next);
    });
}

void LegacyFormsBridge::answerLocationPage(LatLon where, const QString& host, Done done) {
    withPlace(where, [this, where, host, done](const Place* place, const BridgeAnswer& a) {
        if (place == nullptr) {
            // A point the service does not cover is no match; anything else a failure.
            done(isClientRefusal(a) || a.ok() ? answered(noMatchPage(), config_.locationSearchURL)
                                              : failed(a));
            return;
        }
        const Place copy = *place;
        observe(copy.stations, 0, std::nullopt,
                [this, copy, where, host, done](std::optional<Observation> obs) {
                    LegacyLocationFacts facts;
                    facts.radarPageURL =
                        legacyRadarPageURL(config_.radarHost, copy.point.radarStation);
                    facts.cityState = copy.point.city + QStringLiteral(", ") + copy.point.state;
                    if (obs) {
                        facts.forecast = obs->text;
                        facts.conditionsImageURL =
                            legacyConditionsImageURL(host, conditionClass(obs->text, obs->icon));
                        if (obs->temperatureC) {
                            facts.temperatureF = celsiusToFahrenheit(*obs->temperatureC);
                        }
                    }
                    done(answered(legacyLocationPage(facts), legacyLocationPageURL(host, where)));
                });
    });
}

void LegacyFormsBridge::answerFrameList(const LegacyRequest& r, Done done) {
    SiteFrames& site = sites_[r.site];
    const auto reply = [this, r, done](SiteFrames& s) {
        QStringList names;
        const QStringList times =
            s.layer.times.mid(std::max<qsizetype>(0, s.layer.times.size() - kListFrames));
        for (const QString& time : times) {
            const QString name = legacyFrameName(r.site, parseInstant(time));
            if (!names.contains(name)) {
                names << name;
            }
            s.frames[name] = time; // the later of two in one minute wins
        }
        done(answered(legacyFrameListText(r.product, r.site, names), {}));
    };
    if (site.fromCapabilities && site.capabilitiesAt.secsTo(now()) < kCapabilitiesReuseSeconds) {
        reply(site);
        return;
    }
    const QString lower = r.site.toLower();
    BridgeGet get;
    get.url = capabilitiesURL(config_.mapServerURL, r.site);
    get.conditional = true;
    transport_.get(get, [this, r, lower, reply, done](const BridgeAnswer& a) {
        const auto layer =
            a.ok() ? parseCapabilities(a.body, lower + QStringLiteral("_sr_bref")) : std::nullopt;
        if (!a.answered && !a.refused) {
            done(failed(a)); // no network: the stills would fail alike
            return;
        }
        if (!layer || layer->times.isEmpty()) {
            answerFromStills(r, done);
            return;
        }
        SiteFrames& s = sites_[r.site];
        s = SiteFrames{now(), *layer, true, {}, {}, {}};
        reply(s);
    });
}

void LegacyFormsBridge::answerFromStills(const LegacyRequest& r, Done done) {
    BridgeGet get;
    get.url = stillURL(config_.stillsURL, r.site, 0);
    get.conditional = true;
    transport_.get(get, [this, r, done](const BridgeAnswer& a) {
        if (!a.ok() || !isGifAnswer(a.contentType, a.body)) {
            done(failed(a));
            return;
        }
        QDateTime newest = httpDate(a.lastModified);
        if (!newest.isValid()) {
            newest = now(); // the time first seen: the stills carry theirs only in the picture
        }
        SiteFrames& s = sites_[r.site];
        s = SiteFrames{};
        s.stillsNewest = newest;
        s.newestStill = a.body;
        QStringList names;
        for (int i = kStillCount - 1; i >= 0; --i) {
            const QString name = legacyFrameName(r.site, newest.addSecs(-i * kStillStepSeconds));
            s.frames[name] = QLatin1String(kStillPrefix) + QString::number(i);
            names << name;
        }
        done(answered(legacyFrameListText(r.product, r.site, names), {}));
    });
}

std::optional<LatLon> LegacyFormsBridge::siteCentre(const QString& site) const {
    if (const auto it = sites_.find(site);
        it != sites_.end() && it->second.layer.centreLat && it->second.layer.centreLon) {
        return LatLon{*it->second.layer.centreLat, *it->second.layer.centreLon};
    }
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

QString LegacyFormsBridge::mapURL(const QString& site, const QString& product,
                                  const QString& time) const {
    const auto centre = siteCentre(site);
    if (!centre) {
        return {};
    }
    const double range = product == QLatin1String("DS.p20-r") ? kLongRangeNmi : kShortRangeNmi;
    const MercatorBox box =
        webMercatorBox(centre->lat, centre->lon, range, kFrameWidth, kFrameHeight);
    return getMapURL(config_.mapServerURL, site, box, kFrameWidth, kFrameHeight, time);
}

void LegacyFormsBridge::answerFrame(const LegacyRequest& r, Done done) {
    const auto site = sites_.find(r.site);
    QString time;
    if (site != sites_.end()) {
        if (const auto frame = site->second.frames.find(r.frameName);
            frame != site->second.frames.end()) {
            time = frame->second;
        }
    }
    if (time.isEmpty()) {
        // Not a frame of the last list: what the old server said of a frame it no longer had.
        done(answered(legacyUnavailableFrame(), {}));
        return;
    }
    if (time.startsWith(QLatin1String(kStillPrefix))) {
        answerStill(r, time.mid(qsizetype(sizeof kStillPrefix) - 1).toInt(), done);
        return;
    }
    const QString url = mapURL(r.site, r.product, time);
    if (url.isEmpty()) {
        done(answered(legacyUnavailableFrame(), {}));
        return;
    }
    BridgeGet get;
    get.url = url;
    transport_.get(get, [done](const BridgeAnswer& a) {
        if (!a.answered) {
            done(failed(a));
        } else if (a.ok() && isGifAnswer(a.contentType, a.body)) {
            done(answered(padGif(a.body), {}));
        } else {
            // An XML error body or a rendering failure: this frame is not to be shown.
            done(answered(legacyUnavailableFrame(), {}));
        }
    });
}

void LegacyFormsBridge::answerStill(const LegacyRequest& r, int index, Done done) {
    const SiteFrames& s = sites_[r.site];
    if (index == 0 && !s.newestStill.isEmpty()) {
        done(answered(padGif(s.newestStill), {}));
        return;
    }
    BridgeGet get;
    get.url = stillURL(config_.stillsURL, r.site, index);
    transport_.get(get, [done](const BridgeAnswer& a) {
        if (!a.answered) {
            done(failed(a));
        } else {
            done(answered(a.ok() && isGifAnswer(a.contentType, a.body) ? padGif(a.body)
                                                                       : legacyUnavailableFrame(),
                          {}));
        }
    });
}

} // namespace nimbuscope
