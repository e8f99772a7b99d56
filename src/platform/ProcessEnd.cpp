#include "platform/ProcessEnd.h"

#include <csignal>
#include <cstdlib>

namespace nimbuscope {

void ImmediateProcessEnd::endProcess(int status) {
    std::_Exit(status);
}

void ImmediateProcessEnd::endBySignal(int signalNumber) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signalNumber);
    // Only a signal whose default is not to end the process gets here.
    std::_Exit(128 + signalNumber);
}

} // namespace nimbuscope
