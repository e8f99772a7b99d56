#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <memory>

namespace nimbuscope {

/// A time-stamped record of what the saver shows, for measuring the animation from outside
/// the process. Switched on by naming a file in NIMBUSCOPE_FRAME_TRACE; when it is off the
/// program holds no trace at all, so the frames cost nothing extra.
///
/// One line per event, each written with a single unbuffered write so that a trace of a
/// process ended abruptly is complete up to its last frame, and copies of the saver may
/// share one file. Times are seconds on the monotonic clock (CLOCK_MONOTONIC), which a
/// harness can read as well; every line ends with the process id:
///   <time> frame <product> <index> <interval ms> <pid>
///   <time> pass-start <pid>
///   <time> pass-end <pid>
///   <time> downloads <pid>     (this copy took the turn to download for the shared cache)
///   <time> end <pid>           (the program ends now)
class FrameTrace {
public:
    static constexpr const char* kEnvironmentVariable = "NIMBUSCOPE_FRAME_TRACE";

    /// The trace the environment asks for, or nothing when it asks for none or the file
    /// cannot be opened (tracing never stops the saver).
    static std::unique_ptr<FrameTrace> fromEnvironment(const QProcessEnvironment& env);
    /// Appends to `path`; nothing when it cannot be opened.
    static std::unique_ptr<FrameTrace> open(const QString& path);

    ~FrameTrace();
    FrameTrace(const FrameTrace&) = delete;
    FrameTrace& operator=(const FrameTrace&) = delete;

    void frameShown(const QString& product, int index, int intervalMs);
    void passStarted();
    void passEnded();
    void downloadsTaken();
    void ended();

private:
    explicit FrameTrace(int fd) : fd_(fd) {}
    void writeLine(const QByteArray& event);

    int fd_;
};

} // namespace nimbuscope
