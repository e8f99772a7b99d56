#include "support/FrameTrace.h"

#include <QFile>

#include <chrono>
#include <cstdio>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace nimbuscope {

namespace {

// A harness running as another user may read the trace.
constexpr mode_t kTraceFileMode = 0644;

} // namespace

std::unique_ptr<FrameTrace> FrameTrace::fromEnvironment(const QProcessEnvironment& env) {
    const QString path = env.value(QString::fromLatin1(kEnvironmentVariable));
    return path.isEmpty() ? nullptr : open(path);
}

std::unique_ptr<FrameTrace> FrameTrace::open(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kTraceFileMode);
    if (fd < 0) {
        return nullptr;
    }
    return std::unique_ptr<FrameTrace>(new FrameTrace(fd));
}

FrameTrace::~FrameTrace() {
    ::close(fd_);
}

void FrameTrace::frameShown(const QString& product, int index, int intervalMs) {
    writeLine("frame " + product.toUtf8() + ' ' + QByteArray::number(index) + ' ' +
              QByteArray::number(intervalMs));
}

void FrameTrace::passStarted() {
    writeLine("pass-start");
}

void FrameTrace::passEnded() {
    writeLine("pass-end");
}

void FrameTrace::downloadsTaken() {
    writeLine("downloads");
}

void FrameTrace::ended() {
    writeLine("end");
}

void FrameTrace::writeLine(const QByteArray& event) {
    // steady_clock is CLOCK_MONOTONIC on Linux.
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const long long us = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    char stamp[32];
    const int n = std::snprintf(stamp, sizeof stamp, "%lld.%06lld ", us / 1000000, us % 1000000);
    const QByteArray line =
        QByteArray(stamp, n) + event + ' ' + QByteArray::number(qint64(::getpid())) + '\n';
    // A short or failed write loses one line of the trace; the saver goes on.
    [[maybe_unused]] const ssize_t written = ::write(fd_, line.constData(), size_t(line.size()));
}

} // namespace nimbuscope
