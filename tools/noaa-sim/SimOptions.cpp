#include "noaa-sim/SimOptions.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <optional>

namespace nimbuscope::noaasim {

namespace {

constexpr int kMaxPort = 65535;

std::optional<int> number(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

// Takes the value of one of kValueOptions; returns an error text, empty when it was taken.
std::string applyValue(SimOptions& o, std::string_view name, const std::string& v) {
    if (name == "--port") {
        const auto n = number(v, 0, kMaxPort);
        o.port = n.value_or(0);
        return n ? "" : "--port needs a number from 0 to 65535";
    }
    if (name == "--host" || name == "--alternate-host") {
        (name == "--host" ? o.host : o.alternateHost) = v;
        return isLoopbackHost(v) ? "" : std::string(name) + " must be a loopback address";
    }
    if (name == "--frames") {
        const auto n = number(v, 0, kMaxFrameCount);
        o.frames = n.value_or(kDefaultFrameCount);
        return n ? "" : "--frames needs a number from 0 to 250";
    }
    if (name == "--list-form") {
        const auto form = listFormFromName(v);
        o.listForm = form.value_or(ListForm::Relative);
        return form ? "" : "--list-form is relative, rooted or absolute";
    }
    if (name == "--time-form") {
        const auto form = timeFormFromName(v);
        o.timeForm = form.value_or(TimeForm::List);
        return form ? "" : "--time-form is list, interval or mixed";
    }
    if (name == "--fault") {
        const auto rule = parseFaultRule(v);
        if (rule)
            o.faults.push_back(*rule);
        return rule ? "" : "--fault needs PATTERN=KIND, e.g. '/radar/*=drop'";
    }
    if (name == "--alert") {
        const auto alert = parseAlertSpec(v);
        if (alert)
            o.alerts.push_back(*alert);
        return alert ? ""
                     : "--alert needs EVENT:SEVERITY:MINUTES, e.g. 'Tornado Warning:Severe:45'";
    }
    if (name == "--sites" || name == "--radar-list" || name == "--print-reg") {
        (name == "--sites"        ? o.sitesFile
         : name == "--radar-list" ? o.radarListFile
                                  : o.printRegFile) = v;
        return v.empty() ? std::string(name) + " needs a file name" : "";
    }
    return "unknown option " + std::string(name);
}

constexpr std::string_view kValueOptions[] = {
    "--port",       "--host",      "--alternate-host", "--frames",    "--fault", "--sites",
    "--radar-list", "--print-reg", "--list-form",      "--time-form", "--alert"};

bool isValueOption(std::string_view name) {
    return std::find(std::begin(kValueOptions), std::end(kValueOptions), name) !=
           std::end(kValueOptions);
}

} // namespace

bool isLoopbackHost(std::string_view host) {
    if (host == "localhost")
        return true;
    int parts = 0;
    for (std::string_view rest = host;; ++parts) {
        const auto dot = rest.find('.');
        const std::string_view piece = rest.substr(0, dot);
        if (piece.empty() || piece.size() > 3 || !number(piece, 0, 255) ||
            (parts == 0 && piece != "127"))
            return false;
        if (dot == std::string_view::npos)
            break;
        rest.remove_prefix(dot + 1);
    }
    return parts == 3;
}

std::string defaultAlternateHost(std::string_view host) {
    return host == "localhost" ? "127.0.0.1" : "localhost";
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    SimOptions& o = parsed.options;
    for (std::size_t i = 0; i < args.size() && parsed.error.empty(); ++i) {
        std::string name = args[i], value;
        const auto equals = name.find('=');
        const bool inlineValue = name.starts_with("--") && equals != std::string::npos;
        if (inlineValue) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--today" && !inlineValue) {
            o.today = true;
        } else if (name == "--offline") {
            o.faults.push_back({"*", {FaultKind::Drop, 0}});
        } else if (isValueOption(name)) {
            if (!inlineValue && i + 1 >= args.size())
                parsed.error = name + " needs a value";
            else
                parsed.error = applyValue(o, name, inlineValue ? value : args[++i]);
        } else {
            parsed.error = "unknown argument: " + args[i];
        }
    }
    if (o.alternateHost.empty())
        o.alternateHost = defaultAlternateHost(o.host);
    if (parsed.error.empty() && !o.alerts.empty() && !o.today)
        parsed.error = "--alert needs --today";
    if (parsed.error.empty() && o.alternateHost == o.host)
        parsed.error = "--alternate-host must differ from --host";
    return parsed;
}

std::string usageText() {
    return "usage: noaa-sim [--port N] [--host 127.0.0.1] [--alternate-host localhost]\n"
           "                [--frames 18] [--list-form relative|rooted|absolute]\n"
           "                [--sites FILE] [--radar-list FILE]\n"
           "                [--fault PATTERN=KIND]... [--offline]\n"
           "                [--print-reg FILE] [--today [--time-form list|interval|mixed]\n"
           "                [--alert EVENT:SEVERITY:MINUTES]...]\n"
           "Serves NOAA's old location pages, radar loop lists and frames on loopback;\n"
           "with --today, NOAA's current location search, weather API, radar map server\n"
           "and standard stills instead.\n"
           "KIND: delay:<ms> drop error truncate unavailable unavailable:lf\n"
           "      trickle:<bytes-per-second> garbage content\n"
           "      problem:<status> forbidden wms-error\n"
           "At run time: POST /_sim/fault?path=PATTERN&kind=KIND, POST /_sim/clear,\n"
           "POST /_sim/frames?count=N[&product=P], POST /_sim/list-form?form=F,\n"
           "POST /_sim/time-form?form=F, POST /_sim/alert?alert=EVENT:SEVERITY:MINUTES,\n"
           "POST /_sim/alert/cancel?which=EVENT, GET /_sim/alerts (today mode),\n"
           "GET /_sim/faults, GET /_sim/requests, POST /_sim/requests/clear.\n";
}

} // namespace nimbuscope::noaasim
