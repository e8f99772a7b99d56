#include "display/FrameLayout.h"

#include <gtest/gtest.h>

using namespace nimbuscope;

// The drawing time is inside the hold: a middle frame keeps the full rate. A hand-edited rate
// does not overflow the doubled first hold.
TEST(FrameHoldTest, HoldTimeByPlaceInTheCycle) {
    const struct {
        FramePlace place;
        qint32 rate;
        qint32 hold;
    } rows[] = {
        {FramePlace::CycleStart, 200, 400},
        {FramePlace::CycleStart, INT32_MAX, INT32_MAX},
        {FramePlace::CycleStart, INT32_MIN, INT32_MIN},
        {FramePlace::CycleEnd, 200, 1700},
        {FramePlace::Middle, 80, 80},
        {FramePlace::Middle, 231, 231},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(frameHoldMs(row.place, row.rate, 1700), row.hold)
            << int(row.place) << " rate " << row.rate;
    }
}

TEST(FrameBoxTest, BoxByPictureAndScreen) {
    const struct {
        QSize picture;
        QRect box;
        int minTop = 0;
    } rows[] = {
        {{400, 300}, QRect(312, 257, 400, 300)}, // 257.4 rounds down
        // Title lines reaching lower (a banner under the title) push the frame down as far as
        // the screen allows; above the frame's own top they change nothing.
        {{600, 550}, QRect(212, 128, 600, 550), 128},
        {{600, 550}, QRect(212, 218, 600, 550), 400},
        {{401, 300}, QRect(312, 257, 401, 300)}, // 311.5 rounds up
        {{1024, 300}, QRect(0, 257, 1024, 300)}, // full width still goes to the left edge
        {{300, 768}, QRect(362, 0, 300, 768)},   // full height still goes to the top edge
        {{2048, 768}, QRect(0, 211, 1024, 384)}, // too wide: fits the width
        {{600, 1536}, QRect(362, 0, 300, 768)},  // too tall: fits the height
        {{2048, 1536}, QRect(0, 0, 1024, 768)},  // too large, the screen's own shape
        {{1030, 10}, QRect(0, 417, 1024, 10)},   // 9.94 high and 416.9 down, rounded
    };
    for (const auto& row : rows) {
        EXPECT_EQ(frameBox(row.picture, {1024, 768}, 1024.0f / 768.0f, row.minTop), row.box)
            << row.picture.width() << "x" << row.picture.height();
    }
}

// Below 1024 x 768 everything shrinks by the smaller ratio; at or above it the text grows
// with the height and the pictures keep their size.
TEST(LayoutScaleTest, ShrinksBelowTheDesignSizeOnly) {
    const struct {
        QSize window;
        double layout;
        double picture;
    } rows[] = {
        {{1024, 768}, 1.0, 1.0},
        {{1280, 1024}, 1024 / 768.0, 1.0},
        {{640, 480}, 0.625, 0.625},
        {{725, 407}, 407 / 768.0, 407 / 768.0},
        {{512, 1024}, 0.5, 0.5},
        {{0, 0}, 1.0, 1.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.window.width() << "x" << row.window.height());
        EXPECT_DOUBLE_EQ(layoutScale(row.window), row.layout);
        EXPECT_DOUBLE_EQ(pictureScale(row.window), row.picture);
    }
    EXPECT_EQ(scaledSize(QSize(600, 550), 407 / 768.0), QSize(318, 291));
    EXPECT_EQ(scaledSize(QSize(3, 3), 0.01), QSize(1, 1)) << "never vanishes";
}
