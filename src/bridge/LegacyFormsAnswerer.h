#pragma once

#include "bridge/BridgeConfig.h"
#include "bridge/BridgeTransport.h"
#include "bridge/LegacyFormsBridge.h"
#include "retrieval/RequestAnswerer.h"

namespace nimbuscope {

/// The legacy-forms bridge as the page-retrieval component's answerer. It owns the bridge's
/// sub-request transport (our own HTTP reader, with the bridge's manners) and the bridge.
class LegacyFormsAnswerer final : public RequestAnswerer {
public:
    explicit LegacyFormsAnswerer(BridgeConfig config);

    bool handles(const QString& address) const override { return bridge_.handles(address); }
    void start(const QString& address, Done done) override;
    void abortAll() override { polite_.abortAll(); }
    void setReceiveTimeout(qint32 ms) override { timeoutMs_ = ms; }

private:
    qint32 timeoutMs_ = 0;
    HttpBridgeTransport wire_;
    PoliteTransport polite_;
    LegacyFormsBridge bridge_;
};

} // namespace nimbuscope
