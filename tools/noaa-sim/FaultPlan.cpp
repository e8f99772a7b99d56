#include "noaa-sim/FaultPlan.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace nimbuscope::noaasim {

namespace {

constexpr int kMaxDelayMs = 600'000;
constexpr int kMaxTrickleRate = 100'000'000;
constexpr int kMaxOversizedBytes = 64 << 20;

struct KindName {
    FaultKind kind;
    std::string_view name;
    bool needsAmount;
};

constexpr KindName kKinds[] = {
    {FaultKind::Delay, "delay", true},
    {FaultKind::Drop, "drop", false},
    {FaultKind::Error, "error", false},
    {FaultKind::Truncate, "truncate", false},
    {FaultKind::Unavailable, "unavailable", false},
    {FaultKind::Trickle, "trickle", true},
    {FaultKind::Garbage, "garbage", false},
    {FaultKind::Content, "content", false},
    {FaultKind::Problem, "problem", true},
    {FaultKind::Forbidden, "forbidden", false},
    {FaultKind::WmsError, "wms-error", false},
    {FaultKind::HeaderBomb, "header-bomb", false},
    {FaultKind::SlowHeaders, "slow-headers", false},
    {FaultKind::Endless, "endless", false},
    {FaultKind::Oversized, "oversized", true},
    {FaultKind::Reset, "reset", false},
    {FaultKind::BadLines, "bad-lines", false},
};

constexpr int kLowestErrorStatus = 400;
constexpr int kHighestErrorStatus = 599;

int amountLimit(FaultKind kind) {
    if (kind == FaultKind::Delay)
        return kMaxDelayMs;
    if (kind == FaultKind::Oversized)
        return kMaxOversizedBytes;
    return kind == FaultKind::Problem ? kHighestErrorStatus : kMaxTrickleRate;
}

std::optional<int> positiveNumber(std::string_view text, int limit) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0 || value > limit)
        return std::nullopt;
    return value;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::optional<Fault> parseFault(std::string_view text) {
    const auto colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    const std::string_view argument =
        colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    for (const auto& k : kKinds) {
        if (k.name != name)
            continue;
        if (k.kind == FaultKind::Unavailable && colon != std::string_view::npos)
            return argument == "lf" ? std::optional(Fault{k.kind, 1}) : std::nullopt;
        if (!k.needsAmount)
            return colon == std::string_view::npos ? std::optional(Fault{k.kind, 0}) : std::nullopt;
        const auto amount = positiveNumber(argument, amountLimit(k.kind));
        if (!amount || (k.kind == FaultKind::Problem && *amount < kLowestErrorStatus))
            return std::nullopt;
        return Fault{k.kind, *amount};
    }
    return std::nullopt;
}

std::string faultName(const Fault& fault) {
    for (const auto& k : kKinds) {
        if (k.kind != fault.kind)
            continue;
        if (k.needsAmount)
            return std::string(k.name) + ":" + std::to_string(fault.amount);
        if (k.kind == FaultKind::Unavailable && fault.amount == 1)
            return "unavailable:lf";
        return std::string(k.name);
    }
    return "?";
}

std::optional<FaultRule> parseFaultRule(std::string_view text) {
    const auto equals = text.rfind('=');
    if (equals == std::string_view::npos || equals == 0)
        return std::nullopt;
    const auto fault = parseFault(text.substr(equals + 1));
    if (!fault)
        return std::nullopt;
    return FaultRule{std::string(text.substr(0, equals)), *fault};
}

bool globMatches(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0;
    std::size_t star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            // Let the last star swallow one more character and try again from there.
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool patternMatches(std::string_view pattern, std::string_view host, std::string_view target) {
    if (!pattern.empty() && pattern.front() != '/' && pattern.front() != '*') {
        const auto slash = pattern.find('/');
        const std::string_view wantedHost = pattern.substr(0, slash);
        const std::string_view hostName = host.substr(0, host.rfind(':'));
        if (!equalsIgnoringCase(wantedHost, host) && !equalsIgnoringCase(wantedHost, hostName))
            return false;
        pattern = slash == std::string_view::npos ? std::string_view("*") : pattern.substr(slash);
    }
    const std::string_view path = target.substr(0, target.find('?'));
    return globMatches(pattern, target) || globMatches(pattern, path);
}

void FaultPlan::set(FaultRule rule) {
    std::lock_guard lock(mutex_);
    std::erase_if(rules_, [&](const FaultRule& r) { return r.pattern == rule.pattern; });
    rules_.push_back(std::move(rule));
}

bool FaultPlan::remove(std::string_view pattern) {
    std::lock_guard lock(mutex_);
    return std::erase_if(rules_, [&](const FaultRule& r) { return r.pattern == pattern; }) > 0;
}

void FaultPlan::clear() {
    std::lock_guard lock(mutex_);
    rules_.clear();
}

std::optional<Fault> FaultPlan::match(std::string_view host, std::string_view target) const {
    std::lock_guard lock(mutex_);
    for (auto r = rules_.rbegin(); r != rules_.rend(); ++r)
        if (patternMatches(r->pattern, host, target))
            return r->fault;
    return std::nullopt;
}

std::vector<FaultRule> FaultPlan::rules() const {
    std::lock_guard lock(mutex_);
    return rules_;
}

} // namespace nimbuscope::noaasim
