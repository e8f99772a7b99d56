#include "shell/SaverApp.h"

#include "platform/InstanceLocks.h"
#include "platform/ProcessEnd.h"

#include <cstdlib>

namespace nimbuscope {

SaverApp::SaverApp(ShellServices services)
    : services_(std::move(services)), log_(services_.clock, services_.platform),
      settings_(services_.registry, services_.platform, log_, services_.folders.dataDir) {}

SaverApp::~SaverApp() = default;

void SaverApp::registerInstance() {
    const QString name = QString::fromLatin1(kProgramLockName);
    prevInstance_ = services_.locks.isHeld(name);
    programLock_ = services_.locks.acquire(name);
}

void SaverApp::requestEnd() {
    if (orderlyEnd_) {
        orderlyEnd_();
    } else {
        endProgramNow(0);
    }
}

void SaverApp::endProgramNow(int status) {
    log_.flush();
    services_.processEnd.endProcess(status);
    std::abort(); // an end that returns would run code the program never runs
}

} // namespace nimbuscope
