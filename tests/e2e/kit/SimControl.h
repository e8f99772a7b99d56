#pragma once

#include <QStringList>

#include <string>

namespace nimbuscope::e2e {

/// The control requests of a running tools/noaa-sim (faults and its request log), on the
/// port it listens on.
class SimControl {
public:
    explicit SimControl(int port) : port_(port) {}

    /// Answers paths matching `pattern` with a fault ("drop", "delay:MS" ...) from now on.
    bool fault(const std::string& pattern, const std::string& kind) const;
    /// The simulator's request log, one "PATH STATUS" line per request; one line saying
    /// so when the log could not be read.
    QStringList requests() const;
    /// Whether some request so far had `part` in its path.
    bool askedFor(const std::string& part) const;
    /// Whether a POST of `pathAndQuery` (a control request) answered "ok".
    bool post(const std::string& pathAndQuery) const;
    /// The body of a GET of `path`; empty when it failed.
    std::string get(const std::string& path) const;

private:
    int port_;
};

} // namespace nimbuscope::e2e
