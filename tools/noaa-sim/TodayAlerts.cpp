#include "noaa-sim/TodayAlerts.h"

#include "noaa-sim/TodayForms.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace nimbuscope::noaasim {

namespace {

using namespace std::chrono;

constexpr std::array<std::string_view, 5> kSeverities = {"Extreme", "Severe", "Moderate", "Minor",
                                                         "Unknown"};
constexpr std::string_view kIdPrefix = "urn:oid:2.49.0.1.840.0.nimbuscope-sim.";

bool severe(std::string_view severity) {
    return severity == "Extreme" || severity == "Severe";
}

std::string instructionOf(std::string_view severity) {
    return severe(severity) ? "TAKE COVER NOW! Move to a basement or an interior room on the "
                              "lowest floor of a sturdy building. Avoid windows."
                            : "Use caution if you are outdoors. Check later forecasts.";
}

} // namespace

std::optional<AlertSpec> parseAlertSpec(std::string_view text) {
    const auto last = text.rfind(':');
    const auto middle = last == std::string_view::npos ? last : text.rfind(':', last - 1);
    if (middle == std::string_view::npos || middle == 0)
        return std::nullopt;
    AlertSpec spec{std::string(text.substr(0, middle)),
                   std::string(text.substr(middle + 1, last - middle - 1)), 0};
    const std::string_view minutes = text.substr(last + 1);
    const auto [end, error] =
        std::from_chars(minutes.data(), minutes.data() + minutes.size(), spec.minutes);
    const bool known =
        std::find(kSeverities.begin(), kSeverities.end(), spec.severity) != kSeverities.end();
    if (error != std::errc() || end != minutes.data() + minutes.size() || !known ||
        spec.minutes < 1 || spec.minutes > kMaxAlertMinutes ||
        spec.event.find_first_of("\"\\\t\n") != std::string::npos)
        return std::nullopt;
    return spec;
}

std::string TodayAlerts::nextId() {
    return std::string(kIdPrefix) + std::to_string(++issued_);
}

std::string TodayAlerts::issue(const AlertSpec& spec, SysSeconds now) {
    Message m{nextId(), spec, now, now + minutes(spec.minutes), {}, false};
    messages_.push_back(m);
    return m.id;
}

bool TodayAlerts::cancel(std::string_view which, SysSeconds now) {
    std::vector<Message> cancels;
    for (Message& m : messages_) {
        if (m.cancels.empty() && !m.cancelled && now < m.ends &&
            (m.spec.event == which || m.id == which)) {
            m.cancelled = true;
            cancels.push_back({nextId(), m.spec, now, now + kCancelListed, m.id, false});
        }
    }
    messages_.insert(messages_.end(), cancels.begin(), cancels.end());
    return !cancels.empty();
}

std::vector<const TodayAlerts::Message*> TodayAlerts::listed(SysSeconds now) const {
    std::vector<const Message*> out;
    for (const Message& m : messages_) {
        if (!m.cancelled && m.sent <= now && now < m.ends)
            out.push_back(&m);
    }
    return out;
}

SysSeconds TodayAlerts::lastChange(SysSeconds now) const {
    // The list changes when a message is sent and when one ends; the answer stays the same
    // in between, so its validator does too.
    SysSeconds last{};
    for (const Message& m : messages_) {
        for (const SysSeconds t : {m.sent, m.ends}) {
            if (t <= now)
                last = std::max(last, t);
        }
    }
    return last;
}

std::vector<std::string> TodayAlerts::lines(SysSeconds now) const {
    std::vector<std::string> out;
    for (const Message* m : listed(now))
        out.push_back(m->id + '\t' + m->spec.event + '\t' + m->spec.severity + '\t' +
                      isoTime(m->ends, false) + '\t' + (m->cancels.empty() ? "Alert" : "Cancel"));
    return out;
}

std::string TodayAlerts::activeJson(std::string_view point, SysSeconds now) const {
    const std::string base(kPublicApiBase);
    std::string features;
    for (const Message* m : listed(now)) {
        const bool isCancel = !m->cancels.empty();
        const std::string self = base + "alerts/" + m->id;
        const std::string references =
            isCancel ? "[{\"@id\":" + jsonString(base + "alerts/" + m->cancels) +
                           ",\"identifier\":" + jsonString(m->cancels) + "}]"
                     : "[]";
        const std::string sent = jsonString(isoTime(m->sent, false));
        features +=
            std::string(features.empty() ? "" : ",") + "{\"id\":" + jsonString(self) +
            ",\"type\":\"Feature\",\"geometry\":null,\"properties\":{\"@id\":" + jsonString(self) +
            ",\"@type\":\"wx:Alert\",\"id\":" + jsonString(m->id) +
            ",\"areaDesc\":\"Simulated County\",\"references\":" + references +
            ",\"sent\":" + sent + ",\"effective\":" + sent + ",\"onset\":" + sent +
            ",\"expires\":" + jsonString(isoTime(m->ends, false)) +
            ",\"ends\":" + (isCancel ? "null" : jsonString(isoTime(m->ends, false))) +
            ",\"status\":\"Actual\",\"messageType\":" + (isCancel ? "\"Cancel\"" : "\"Alert\"") +
            ",\"category\":\"Met\",\"severity\":" + jsonString(m->spec.severity) +
            ",\"certainty\":\"Observed\",\"urgency\":" +
            (severe(m->spec.severity) ? "\"Immediate\"" : "\"Expected\"") +
            ",\"event\":" + jsonString(m->spec.event) +
            ",\"senderName\":\"NWS Simulated\",\"headline\":" +
            jsonString(m->spec.event + " issued by NWS Simulated") +
            ",\"instruction\":" + jsonString(instructionOf(m->spec.severity)) + "}}";
    }
    return "{\"@context\":[\"https://geojson.org/geojson-ld/geojson-context.jsonld\"],"
           "\"type\":\"FeatureCollection\",\"features\":[" +
           features + "],\"title\":" +
           jsonString("Current watches, warnings, and advisories for " + std::string(point)) +
           ",\"updated\":" + jsonString(isoTime(lastChange(now), false)) + "}";
}

} // namespace nimbuscope::noaasim
