#pragma once

#include "platform/WindowEmbedding.h"

#include <optional>

namespace nimbuscope::test {

/// A host window that exists or not, as the test says; the test sends its resizes and its
/// destruction.
class FakeEmbedding final : public WindowEmbedding {
public:
    bool attach(quint32 hostId) override {
        attachedTo = hostId;
        return hostExists;
    }
    QSize hostSize() override { return size; }
    void embed(QWindow&) override { ++embedded; }
    void watch(QWindow&) override {}

    bool hostExists = true;
    QSize size{152, 112};
    std::optional<quint32> attachedTo;
    int embedded = 0;
};

} // namespace nimbuscope::test
