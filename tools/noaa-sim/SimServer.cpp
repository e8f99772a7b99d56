#include "noaa-sim/SimServer.h"

#include "noaa-sim/Hash.h"
#include "noaa-sim/HostileAnswers.h"
#include "noaa-sim/PageForms.h"
#include "noaa-sim/RadarGif.h"
#include "noaa-sim/RawConnection.h"
#include "noaa-sim/TodayForms.h"
#include "noaa-sim/TodaySite.h"
#include "noaa-sim/WmsForms.h"

#include <httplib.h>

#include <charconv>
#include <condition_variable>
#include <deque>
#include <thread>

namespace nimbuscope::noaasim {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kWorkerThreads = 16;
constexpr std::size_t kMaxLoggedRequests = 1000;
constexpr std::size_t kGarbageMinBytes = 1024;
constexpr auto kTrickleTick = 100ms;
constexpr auto kStartTimeout = 5s;
constexpr const char* kHtml = "text/html; charset=iso-8859-1";

/// Lets waits inside answers end early when the server stops.
class Stopper {
public:
    /// True when the whole time passed, false when the server is stopping.
    bool waitFor(std::chrono::milliseconds time) {
        std::unique_lock lock(mutex_);
        return !stopped_.wait_for(lock, time, [&] { return stopping_; });
    }
    void stop() {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        stopped_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
};

class RequestLog {
public:
    void add(std::string line) {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
        if (lines_.size() > kMaxLoggedRequests)
            lines_.pop_front();
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return {lines_.begin(), lines_.end()};
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::deque<std::string> lines_;
};

std::string garbage(std::string_view seedText, std::size_t size) {
    SplitMix rng(fnv1a(seedText));
    std::string bytes(std::max(size, kGarbageMinBytes), '\0');
    for (char& b : bytes)
        b = char(rng.next() & 0xff);
    return bytes;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

void setHeaders(const Reply& reply, httplib::Response& res) {
    res.status = reply.status;
    if (!reply.location.empty())
        res.set_header("Location", reply.location);
    for (const auto& [name, value] : reply.headers)
        res.set_header(name, value);
}

void send(const Reply& reply, httplib::Response& res) {
    setHeaders(reply, res);
    res.set_content(reply.body, reply.contentType);
}

} // namespace

struct SimServer::Impl {
    Impl(SimOptions o, SiteTable s, const UtcClock& c)
        : options(std::move(o)), sites(std::move(s)), clock(c) {}

    void handleGet(const httplib::Request& req, httplib::Response& res);
    Reply answer(const httplib::Request& req);
    std::optional<Reply> faultReply(const Fault& fault, const httplib::Request& req) const;
    bool postFrames(const httplib::Request& req);
    std::string base() const { return "http://" + options.host + ":" + std::to_string(port) + "/"; }
    void handlePost(const httplib::Request& req, httplib::Response& res);
    void postFault(const httplib::Request& req, httplib::Response& res);
    void postAlert(const httplib::Request& req, httplib::Response& res);
    void controlGet(const httplib::Request& req, httplib::Response& res);
    void answerWithFault(const Fault& fault, const httplib::Request& req, Reply reply,
                         httplib::Response& res);
    HostileServer hostile() {
        return {port, base(), [this](std::chrono::milliseconds t) { return stopper.waitFor(t); }};
    }

    SimOptions options;
    SiteTable sites;
    const UtcClock& clock;
    httplib::Server server;
    std::thread thread;
    std::unique_ptr<NoaaSite> site;
    std::unique_ptr<TodaySite> today; // in today mode, instead of `site`
    FaultPlan faults;
    RequestLog log;
    Stopper stopper;
    int port = 0;
};

void SimServer::Impl::handleGet(const httplib::Request& req, httplib::Response& res) {
    if (req.path.starts_with("/_sim/"))
        return controlGet(req, res);
    const std::string host = req.get_header_value("Host");
    const auto fault = faults.match(host, req.target);
    if (!fault) {
        send(answer(req), res);
    } else if (fault->kind == FaultKind::Delay) {
        if (!stopper.waitFor(std::chrono::milliseconds(fault->amount)))
            return;
        send(answer(req), res);
    } else if (fault->kind == FaultKind::Drop) {
        shutdownConnection(port, req.remote_addr, req.remote_port);
        res.status = 0;
    } else if (fault->kind == FaultKind::HeaderBomb || fault->kind == FaultKind::SlowHeaders) {
        answerEndlessHead(fault->kind == FaultKind::SlowHeaders, req, res, hostile());
    } else if (const auto reply = faultReply(*fault, req)) {
        send(*reply, res);
    } else {
        answerWithFault(*fault, req, answer(req), res);
    }
    log.add(host + " " + req.target + " " + std::to_string(res.status) +
            (fault ? " " + faultName(*fault) : ""));
}

Reply SimServer::Impl::answer(const httplib::Request& req) {
    if (!today)
        return site->get(req.path, req.params);
    return today->get(req.path, req.params,
                      {req.get_header_value("User-Agent"),
                       req.get_header_value("If-Modified-Since"),
                       req.get_header_value("If-None-Match")});
}

// The faults whose answer does not depend on the normal one.
std::optional<Reply> SimServer::Impl::faultReply(const Fault& fault,
                                                 const httplib::Request& req) const {
    switch (fault.kind) {
    case FaultKind::Error:
        return Reply{500, kHtml, serverErrorPage(), {}, {}};
    case FaultKind::Content:
        return Reply{200, kHtml, contentErrorPage(), {}, {}};
    case FaultKind::Unavailable:
        if (fault.amount != 0)
            return std::nullopt;
        return Reply{200, "image/gif", unavailableFrameGif(), {}, {}};
    case FaultKind::Problem:
        return Reply{fault.amount,
                     std::string(kProblemJson),
                     problemForStatus(kPublicApiBase, fault.amount),
                     {},
                     {}};
    case FaultKind::Forbidden:
        return Reply{403, kHtml, accessDeniedPage(base() + req.target.substr(1)), {}, {}};
    case FaultKind::WmsError:
        return Reply{200,
                     std::string(kWmsXml),
                     serviceExceptionXml("", "", "Error rendering coverage on the fast path"),
                     {},
                     {}};
    default:
        return std::nullopt;
    }
}

void SimServer::Impl::answerWithFault(const Fault& fault, const httplib::Request& req, Reply reply,
                                      httplib::Response& res) {
    if (fault.kind == FaultKind::Garbage) {
        const std::string type =
            reply.contentType.empty() ? "application/octet-stream" : reply.contentType;
        return send({200, type, garbage(req.target, reply.body.size()), {}, {}}, res);
    }
    if (fault.kind == FaultKind::Unavailable) {
        reply.body += '\n';
        return send(reply, res);
    }
    if (fault.kind != FaultKind::Truncate && fault.kind != FaultKind::Trickle)
        return answerHostile(fault, req, std::move(reply), res, hostile());
    setHeaders(reply, res);
    auto body = std::make_shared<const std::string>(std::move(reply.body));
    if (fault.kind == FaultKind::Truncate) {
        // The length announced is the whole body; returning false after half closes the
        // connection, as a server dying mid-answer would.
        res.set_content_provider(body->size(), reply.contentType,
                                 [body](std::size_t, std::size_t, httplib::DataSink& sink) {
                                     sink.write(body->data(), body->size() / 2);
                                     return false;
                                 });
        return;
    }
    const std::size_t chunk = std::max<std::size_t>(1, std::size_t(fault.amount) / 10);
    res.set_content_provider(
        body->size(), reply.contentType,
        [body, chunk, this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            const std::size_t n = std::min(chunk, length);
            sink.write(body->data() + offset, n);
            return offset + n >= body->size() || stopper.waitFor(kTrickleTick);
        });
}

void SimServer::Impl::controlGet(const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/_sim/faults") {
        std::vector<std::string> lines;
        for (const auto& rule : faults.rules())
            lines.push_back(rule.pattern + "=" + faultName(rule.fault));
        return res.set_content(joinLines(lines), "text/plain");
    }
    if (req.path == "/_sim/requests")
        return res.set_content(joinLines(log.lines()), "text/plain");
    if (req.path == "/_sim/alerts" && today)
        return res.set_content(joinLines(today->alertLines()), "text/plain");
    res.status = 404;
    res.set_content("unknown control request\n", "text/plain");
}

namespace {

void answerControl(httplib::Response& res, bool ok, const std::string& problem) {
    res.status = ok ? 200 : 400;
    res.set_content(ok ? "ok\n" : problem + "\n", "text/plain");
}

} // namespace

void SimServer::Impl::postFault(const httplib::Request& req, httplib::Response& res) {
    const std::string pattern = req.get_param_value("path"), kind = req.get_param_value("kind");
    if (kind == "none")
        return answerControl(res, !pattern.empty() && faults.remove(pattern), "no such fault");
    const auto fault = parseFault(kind);
    if (fault && !pattern.empty())
        faults.set({pattern, *fault});
    answerControl(res, fault && !pattern.empty(), "needs path=PATTERN and a known kind");
}

void SimServer::Impl::postAlert(const httplib::Request& req, httplib::Response& res) {
    const auto spec = parseAlertSpec(req.get_param_value("alert"));
    if (!spec)
        return answerControl(res, false, "needs alert=EVENT:SEVERITY:MINUTES");
    res.set_content("ok " + today->issueAlert(*spec) + "\n", "text/plain");
}

bool SimServer::Impl::postFrames(const httplib::Request& req) {
    int count = -1;
    const std::string text = req.get_param_value("count");
    std::from_chars(text.data(), text.data() + text.size(), count);
    return today ? today->setFrameCount(count)
                 : site->setFrameCount(req.get_param_value("product"), count);
}

void SimServer::Impl::handlePost(const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/_sim/fault")
        return postFault(req, res);
    if (req.path == "/_sim/clear") {
        faults.clear();
        return answerControl(res, true, {});
    }
    if (req.path == "/_sim/frames")
        return answerControl(res, postFrames(req),
                             today ? "needs count=1..250"
                                   : "needs count=0..250 and an optional known product");
    if (req.path == "/_sim/time-form" && today) {
        const auto form = timeFormFromName(req.get_param_value("form"));
        if (form)
            today->setTimeForm(*form);
        return answerControl(res, form.has_value(), "form is list, interval or mixed");
    }
    if (req.path == "/_sim/list-form" && !today) {
        const auto form = listFormFromName(req.get_param_value("form"));
        if (form)
            site->setListForm(*form);
        return answerControl(res, form.has_value(), "form is relative, rooted or absolute");
    }
    if (req.path == "/_sim/alert" && today)
        return postAlert(req, res);
    if (req.path == "/_sim/alert/cancel" && today)
        return answerControl(res, today->cancelAlert(req.get_param_value("which")),
                             "no alert in effect with that event or identifier");
    if (req.path == "/_sim/requests/clear") {
        log.clear();
        return answerControl(res, true, {});
    }
    res.status = 404;
    res.set_content("unknown control request\n", "text/plain");
}

SimServer::SimServer(SimOptions options, SiteTable sites, const UtcClock& clock)
    : impl_(std::make_unique<Impl>(std::move(options), std::move(sites), clock)) {}

SimServer::~SimServer() {
    stop();
}

bool SimServer::start(std::string& error) {
    Impl& d = *impl_;
    d.server.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    d.server.Get(
        ".*", [&d](const httplib::Request& req, httplib::Response& res) { d.handleGet(req, res); });
    d.server.Post(".*", [&d](const httplib::Request& req, httplib::Response& res) {
        d.handlePost(req, res);
    });
    const int port = d.options.port == 0 ? d.server.bind_to_any_port(d.options.host)
                     : d.server.bind_to_port(d.options.host, d.options.port) ? d.options.port
                                                                             : -1;
    if (port <= 0) {
        error = "cannot listen on " + d.options.host + ":" + std::to_string(d.options.port);
        return false;
    }
    d.port = port;
    if (d.options.today)
        d.today = std::make_unique<TodaySite>(d.sites, d.clock, baseUrl(), d.options.frames,
                                              d.options.timeForm);
    for (const AlertSpec& alert : d.options.alerts) {
        if (d.today)
            d.today->issueAlert(alert);
    }
    d.site = std::make_unique<NoaaSite>(std::move(d.sites), d.clock, baseUrl(), d.options.frames,
                                        d.options.listForm);
    for (const auto& rule : d.options.faults)
        d.faults.set(rule);
    d.thread = std::thread([&d] { d.server.listen_after_bind(); });
    // stop() only reaches a server whose accept loop is running, so wait for it.
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (!d.server.is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    return true;
}

void SimServer::stop() {
    Impl& d = *impl_;
    if (!d.thread.joinable())
        return;
    d.stopper.stop();
    d.server.stop();
    d.thread.join();
}

int SimServer::port() const {
    return impl_->port;
}

std::string SimServer::baseUrl() const {
    return impl_->base();
}

FaultPlan& SimServer::faults() {
    return impl_->faults;
}

NoaaSite& SimServer::site() {
    return *impl_->site;
}

TodaySite* SimServer::today() {
    return impl_->today.get();
}

std::vector<std::string> SimServer::requestLog() const {
    return impl_->log.lines();
}

} // namespace nimbuscope::noaasim
