#include "shell/SaverApp.h"

#include "platform/InstanceLocks.h"
#include "platform/ProcessEnd.h"
#include "support/FrameTrace.h"

#include <cstdlib>

namespace nimbuscope {

SaverApp::SaverApp(ShellServices services)
    : services_(std::move(services)), log_(services_.clock, services_.platform),
      settings_(services_.registry, services_.platform, log_, services_.folders.dataDir) {}

SaverApp::~SaverApp() = default;

void SaverApp::keepInstanceHold(std::unique_ptr<InstanceLock> hold) {
    instanceHold_ = std::move(hold);
}

void SaverApp::requestEnd(int signalNumber) {
    endSignal_ = signalNumber;
    if (orderlyEnd_) {
        orderlyEnd_();
        return;
    }
    // Nothing to end in order (yet): the process ends as the signal itself would end it. A
    // host may kill a copy it has only just started.
    diesOfSignal_ = true;
    endProgramNow(0);
}

void SaverApp::endProgramNow(int status) {
    log_.flush();
    if (frameTrace_ != nullptr) {
        frameTrace_->ended();
    }
    if (endSignal_ != 0 && diesOfSignal_) {
        services_.processEnd.endBySignal(endSignal_);
    }
    services_.processEnd.endProcess(status);
    std::abort(); // an end that returns would run code the program never runs
}

} // namespace nimbuscope
