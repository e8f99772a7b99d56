#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbuscope::noaasim {

enum class FaultKind {
    Delay,       // "delay:<ms>": wait, then answer normally
    Drop,        // "drop": close the connection without an answer
    Error,       // "error": HTTP 500 with "Server Error" in the body
    Truncate,    // "truncate": announce the whole body, send half, close the connection
    Unavailable, // "unavailable": the small radar-unavailable GIF (under 6000 bytes);
                 // "unavailable:lf": the normal body with a line feed appended
    Trickle,     // "trickle:<bytes-per-second>": the normal answer, slowly
    Garbage,     // "garbage": HTTP 200 with random bytes as long as the normal body
    Content,     // "content": HTTP 200 with a page that is no location page and no error page
    Problem,     // "problem:<status>": an API error as application/problem+json (400-599)
    Forbidden,   // "forbidden": the HTML 403 a content network sends instead of the API's JSON
    WmsError,    // "wms-error": HTTP 200 with a map server's XML exception instead of a map
    // Hostile answers:
    HeaderBomb,  // "header-bomb": a status line, then header fields without end, fast
    SlowHeaders, // "slow-headers": a status line, then one byte of a header a second
    Endless,     // "endless": HTTP 200 with a chunked body that never ends
    Oversized,   // "oversized:<bytes>": the normal answer padded with zeros to that size
    Reset,       // "reset": the normal head and half the body, then a reset (RST)
    BadLines,    // "bad-lines": the normal answer after lines naming no frame of this server
};

struct Fault {
    FaultKind kind = FaultKind::Drop;
    int amount = 0; // milliseconds (delay), bytes per second (trickle), HTTP status (problem),
                    // bytes (oversized), 1 for unavailable:lf
};

/// "delay:500", "trickle:2000", "unavailable:lf", "drop" ... ; nothing for anything else.
std::optional<Fault> parseFault(std::string_view text);
std::string faultName(const Fault& fault);

/// Which requests a fault hits. The pattern is a path, optionally preceded by a host name
/// ("localhost/radar/images/*"); "*" stands for any run of characters and is the only
/// wildcard. The path part must match the whole request target (path and query) or the
/// whole path; the host part, when given, the request's host name (or host:port).
struct FaultRule {
    std::string pattern;
    Fault fault;
};

/// "PATTERN=KIND", split at the last "=" (patterns may hold "=" in their query).
std::optional<FaultRule> parseFaultRule(std::string_view text);
bool globMatches(std::string_view pattern, std::string_view text);
bool patternMatches(std::string_view pattern, std::string_view host, std::string_view target);

/// The faults in force; changed at run time by the control requests, so it is locked.
class FaultPlan {
public:
    /// Adds a rule; a rule with the same pattern is replaced.
    void set(FaultRule rule);
    bool remove(std::string_view pattern);
    void clear();
    /// The fault of the newest matching rule.
    std::optional<Fault> match(std::string_view host, std::string_view target) const;
    std::vector<FaultRule> rules() const;

private:
    mutable std::mutex mutex_;
    std::vector<FaultRule> rules_;
};

} // namespace nimbuscope::noaasim
