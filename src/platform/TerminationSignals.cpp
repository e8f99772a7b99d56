#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace nimbuscope {

namespace {

constexpr std::array kEndSignals = {SIGTERM, SIGINT};

// A signal handler can reach nothing but process-wide state; this is the one piece of it,
// the write end of the pipe (-1 while no object exists).
std::atomic<int> gWriteEnd{-1};

extern "C" void queueSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = gWriteEnd.load();
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds a request to end: dropping this one loses nothing.
        [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

bool setHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Calls the signal interrupts go on by themselves, so no write stops half-way.
    action.sa_flags = SA_RESTART;
    return ::sigaction(signalNumber, &action, nullptr) == 0;
}

} // namespace

TerminationSignals::TerminationSignals() {
    if (gWriteEnd.load() >= 0 || ::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return;
    }
    gWriteEnd.store(pipe_[1]);
    for (const int s : kEndSignals) {
        setHandler(s, queueSignal);
    }
    notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPending);
}

TerminationSignals::~TerminationSignals() {
    if (pipe_[1] < 0) {
        return;
    }
    for (const int s : kEndSignals) {
        setHandler(s, SIG_DFL);
    }
    gWriteEnd.store(-1);
    notifier_.reset();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void TerminationSignals::readPending() {
    unsigned char byte = 0;
    while (::read(pipe_[0], &byte, 1) == 1) {
        emit received(byte);
    }
}

} // namespace nimbuscope
