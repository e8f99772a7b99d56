#include "bridge/LegacyFormsAnswerer.h"

namespace nimbuscope {

// The back-off runs on the bridge's own time, so the two agree on one clock.
LegacyFormsAnswerer::LegacyFormsAnswerer(BridgeConfig config)
    : wire_([this] { return timeoutMs_; }), polite_(wire_, [this] { return bridge_.now(); }),
      bridge_(std::move(config), polite_) {}

void LegacyFormsAnswerer::start(const QString& address, Done done) {
    bridge_.start(address, [done = std::move(done)](const BridgeResult& result) {
        done(AnsweredRequest{result.status, result.body, result.finalUrl});
    });
}

} // namespace nimbuscope
