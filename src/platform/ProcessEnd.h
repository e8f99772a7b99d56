#pragma once

namespace nimbuscope {

/// The one way the program ends itself. Ending is immediate: no form event, destructor or
/// clean-up runs after it, so callers must have done what they mean to do first.
class ProcessEnd {
public:
    virtual ~ProcessEnd() = default;
    /// Ends the process with exit status `status`; never returns.
    [[noreturn]] virtual void endProcess(int status) = 0;
    /// Ends the process as killed by `signalNumber`, the end its parent asked for; never
    /// returns.
    [[noreturn]] virtual void endBySignal(int signalNumber) = 0;
};

/// Ends the process at once with `std::_Exit`: no exit handlers, no static destructors and
/// no further event processing.
class ImmediateProcessEnd final : public ProcessEnd {
public:
    [[noreturn]] void endProcess(int status) override;
    [[noreturn]] void endBySignal(int signalNumber) override;
};

} // namespace nimbuscope
