// The embedding on a real X server: this program's QApplication runs on a private Xvfb, and
// the test plays the host program through an X connection of its own.
#include "platform/X11Embedding.h"

#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/XClient.h"

#include <QWindow>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::e2e;

namespace {

constexpr int kEventWaitMs = 5000;
// Long enough for a second, wrong report to arrive if there were one.
constexpr int kSettleMs = 300;

class X11EmbeddingTest : public ::testing::Test {
protected:
    X11EmbeddingTest() : host(qgetenv("DISPLAY")) {
        QObject::connect(&embedding, &WindowEmbedding::hostResized,
                         [this](QSize size) { resizes.append(size); });
        QObject::connect(&embedding, &WindowEmbedding::windowGone, [this] { ++gone; });
    }

    void SetUp() override {
        ASSERT_TRUE(embedding.available());
        ASSERT_TRUE(host.isConnected());
    }

    quint32 makeHost(QSize size) {
        return host.createWindow(QRect(QPoint(20, 20), size), 0xff00ff);
    }

    static void settle() {
        waitUntil([] { return false; }, kSettleMs);
    }

    XClient host;
    X11Embedding embedding;
    QList<QSize> resizes;
    int gone = 0;
};

} // namespace

TEST_F(X11EmbeddingTest, WhatIsNoWindowCannotBeAttached) {
    const quint32 destroyed = makeHost({10, 10});
    ASSERT_TRUE(host.destroyWindow(destroyed));
    for (const quint32 id : {0u, destroyed, 0x1fffffffu, 0xffffffffu}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(embedding.attach(id));
        EXPECT_EQ(embedding.hostSize(), QSize());
    }
}

// Our window goes inside the host; each new size of the host is reported once, other windows
// coming and going not at all, and the host's end once (it and our window go together).
TEST_F(X11EmbeddingTest, AnAttachedHostTakesOurWindowAndReportsEachNewSizeAndItsEndOnce) {
    const quint32 hostId = makeHost({152, 112});
    ASSERT_TRUE(embedding.attach(hostId));
    EXPECT_EQ(embedding.hostSize(), QSize(152, 112));
    QWindow window;
    window.resize(40, 30);
    window.create();
    embedding.embed(window);
    window.show();
    const auto ours = static_cast<quint32>(window.winId());
    EXPECT_TRUE(waitUntil([&] { return host.children(hostId).contains(ours); }, kEventWaitMs));
    EXPECT_EQ(host.windowGeometry(ours).topLeft(), host.windowGeometry(hostId).topLeft());

    const quint32 other = makeHost({50, 50});
    ASSERT_TRUE(host.resizeWindow(other, {70, 70}));
    ASSERT_TRUE(host.destroyWindow(other));
    QList<QSize> expected;
    for (const QSize size : {QSize(300, 200), QSize(300, 200), QSize(64, 48)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        if (expected.isEmpty() || expected.back() != size) {
            expected.append(size);
        }
        ASSERT_TRUE(host.resizeWindow(hostId, size));
        // Qt folds a burst of ConfigureNotify into its last one, so each is awaited.
        EXPECT_TRUE(waitUntil([&] { return resizes.size() >= expected.size(); }, kEventWaitMs));
        settle();
        EXPECT_EQ(resizes, expected);
    }
    EXPECT_EQ(gone, 0);
    ASSERT_TRUE(host.destroyWindow(hostId));
    EXPECT_TRUE(waitUntil([&] { return gone > 0; }, kEventWaitMs));
    settle();
    EXPECT_EQ(gone, 1);
}

TEST_F(X11EmbeddingTest, AStandaloneWindowDestroyedByAnotherProgramIsReported) {
    QWindow window;
    window.resize(40, 30);
    window.create();
    window.show();
    embedding.watch(window);
    settle();
    EXPECT_EQ(gone, 0);
    ASSERT_TRUE(host.destroyWindow(static_cast<quint32>(window.winId())));
    EXPECT_TRUE(waitUntil([&] { return gone == 1; }, kEventWaitMs));
}
