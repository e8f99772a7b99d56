#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace nimbuscope {

/// Turns SIGTERM and SIGINT into the `received` signal, sent from the event loop. The signal
/// handler only writes the signal's number into a pipe; everything else runs later, between
/// two events, so an end requested by a signal never cuts a file write or a timer tick in
/// half. One object at a time may exist; its destructor puts the default handlers back.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    TerminationSignals();
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    /// False when the pipe or the handlers could not be set up (or another object has
    /// them); the signals then keep their default action.
    bool installed() const { return notifier_ != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readPending();

    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace nimbuscope
