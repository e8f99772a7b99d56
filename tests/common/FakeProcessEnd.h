#pragma once

#include "platform/ProcessEnd.h"

#include <optional>
#include <utility>

namespace nimbuscope::test {

/// Thrown where the real program would end. It is not a std::exception, so no error trap of
/// the program catches it: it unwinds to the test, and nothing after the end runs.
struct ProgramEnded {
    int status = 0;
    /// The signal the process died of; 0 for an exit.
    int signal = 0;
};

/// Ends "the process" by throwing ProgramEnded; remembers the status.
class FakeProcessEnd final : public ProcessEnd {
public:
    [[noreturn]] void endProcess(int status) override {
        endedWith = status;
        throw ProgramEnded{status};
    }
    /// A death by a signal reads as the shell shows it: status 128 + the signal.
    [[noreturn]] void endBySignal(int signalNumber) override {
        endedWith = 128 + signalNumber;
        endedBySignal = signalNumber;
        throw ProgramEnded{128 + signalNumber, signalNumber};
    }

    std::optional<int> endedWith;
    std::optional<int> endedBySignal;
};

/// Runs `body`; the status the program ended with, or nothing when `body` returned.
template <typename Body> std::optional<int> endStatusOf(Body&& body) {
    try {
        std::forward<Body>(body)();
    } catch (const ProgramEnded& ended) {
        return ended.status;
    }
    return std::nullopt;
}

} // namespace nimbuscope::test
