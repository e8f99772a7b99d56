#include "display/MyProgress.h"

#include "common/DisplayTestRig.h"

#include <QCoreApplication>
#include <QWidget>
#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

constexpr int kBackWidth = 2400;
constexpr int kHeight = 12;

class MyProgressTest : public ::testing::Test {
protected:
    MyProgressTest() : progress(&window, rig.log) {}

    /// Bar i with the usual minimum 1 and the given maximum, 2400 wide.
    void setUpBar(int i, qint32 max) {
        progress.setWidthHeight(kBackWidth, kHeight, i);
        progress.setMax(max, i);
        progress.setMin(1, i);
    }
    int fillWidth(int i) const { return progress.MyProgressBar(i)->width(); }

    DisplayTestRig rig;
    QWidget window;
    MyProgress progress;
};

TEST_F(MyProgressTest, ValuesAreHeldBetweenMinimumAndMaximumAndShownAsAShare) {
    setUpBar(0, 24);
    const struct {
        qint32 value;
        qint32 held;   // what the bar keeps
        qint32 caller; // what the caller's variable holds afterwards
        int width;
    } rows[] = {{6, 6, 6, 600},     {1, 1, 1, 100}, {24, 24, 24, 2400},
                {30, 24, 24, 2400}, // above the maximum: lowered, also for the caller
                {0, 24, 0, 2400},   // below the minimum: nothing changes
                {12, 12, 12, 1200}};
    for (const auto& row : rows) {
        qint32 value = row.value;
        progress.setValue(value, 0);
        EXPECT_EQ(progress.value(0), row.held) << "value " << row.value;
        EXPECT_EQ(value, row.caller) << "value " << row.value;
        EXPECT_EQ(fillWidth(0), row.width) << "value " << row.value;
    }
}

TEST_F(MyProgressTest, IncrValueStepsUpAndStopsAtTheMaximum) {
    setUpBar(0, 3);
    progress.incrValue(0);
    EXPECT_EQ(progress.value(0), 2);
    progress.incrValue(0);
    progress.incrValue(0);
    EXPECT_EQ(progress.value(0), 3);
    EXPECT_EQ(fillWidth(0), kBackWidth);
}

TEST_F(MyProgressTest, SetMinMovesTheBarToTheMinimum) {
    setUpBar(0, 10);
    qint32 value = 7;
    progress.setValue(value, 0);
    progress.setMin(2, 0);
    EXPECT_EQ(progress.value(0), 2);
    // min 2, max 10: range 9, fraction (2 - 2 + 1) / 9.
    EXPECT_EQ(fillWidth(0), 267);
}

TEST_F(MyProgressTest, DegenerateRangesNeitherOverfillTheBarNorTakeAValueBelowTheMinimum) {
    // A minimum of 0 gives a range above the maximum; the rule then takes range 1.
    progress.setWidthHeight(kBackWidth, kHeight, 2);
    progress.setMax(24, 2);
    qint32 value = 0;
    progress.setValue(value, 2);
    EXPECT_EQ(fillWidth(2), kBackWidth);
    value = 5;
    progress.setValue(value, 2);
    EXPECT_EQ(fillWidth(2), kBackWidth) << "never wider than the background";

    // A maximum below the minimum keeps the old value.
    progress.setWidthHeight(kBackWidth, kHeight, 1);
    progress.setMin(1, 1); // max still 0: the value 1 is lowered to 0, below the minimum
    EXPECT_EQ(progress.value(1), 0);
    EXPECT_EQ(fillWidth(1), 0);
}

TEST_F(MyProgressTest, GeometryMovesBothRectangles) {
    progress.setTopLeft(40, 60, 0);
    setUpBar(0, 24);
    for (QWidget* w : {progress.MyProgressBarBack(0), progress.MyProgressBar(0)}) {
        EXPECT_EQ(w->pos(), QPoint(60, 40));
        EXPECT_EQ(w->height(), kHeight);
    }
    EXPECT_EQ(progress.MyProgressBarBack(0)->width(), kBackWidth);
    // Resizing takes the value itself as the fill width until the next setValue.
    progress.setWidthHeight(1000, 8, 0);
    EXPECT_EQ(fillWidth(0), 1);
    EXPECT_EQ(progress.MyProgressBar(0)->height(), 8);
}

TEST_F(MyProgressTest, SetVisibleShowsBothRectanglesAndRedrawsTheValue) {
    EXPECT_FALSE(progress.visible(0)) << "bars start hidden";
    setUpBar(0, 24);
    qint32 value = 12;
    progress.setValue(value, 0);
    progress.setWidthHeight(kBackWidth, kHeight, 0);
    progress.setVisible(true, 0);
    EXPECT_TRUE(progress.visible(0));
    EXPECT_FALSE(progress.MyProgressBarBack(0)->isHidden());
    EXPECT_EQ(fillWidth(0), 1200);
    EXPECT_FALSE(progress.visible(1)) << "bars are independent";
    progress.setVisible(false, 0);
    EXPECT_FALSE(progress.visible(0));
    EXPECT_TRUE(progress.MyProgressBarBack(0)->isHidden());
}

TEST_F(MyProgressTest, OnlyAChangeIsDrawnAndItIsDrawnAtOnce) {
    setUpBar(1, 24);
    qint32 value = 6;
    progress.setValue(value, 1);
    progress.setVisible(true, 1);
    window.resize(kBackWidth, 100);
    window.show();
    QCoreApplication::processEvents();
    PaintCounter fill(progress.MyProgressBar(1));
    PaintCounter back(progress.MyProgressBarBack(1));

    // The bar is set and shown again on every frame: nothing to draw while nothing changed.
    progress.setValue(value, 1);
    progress.setVisible(true, 1);
    EXPECT_EQ(fill.paints, 0);
    EXPECT_EQ(back.paints, 0);

    // A new value is drawn before setValue returns, not on a later turn of the event loop.
    value = 7;
    progress.setValue(value, 1);
    EXPECT_GE(fill.paints, 1);
    EXPECT_EQ(fillWidth(1), 700);

    // Shown after being hidden, the background is drawn at once.
    progress.setVisible(false, 1);
    progress.setVisible(true, 1);
    EXPECT_GE(back.paints, 1);
}

TEST_F(MyProgressTest, BarIndexOutsideTheThreeIsTrapped) {
    qint32 value = 5;
    progress.setWidthHeight(10, 10, 3);
    progress.setTopLeft(1, 1, -1);
    EXPECT_FALSE(progress.visible(3));
    EXPECT_EQ(progress.max(3), 0);
    progress.setMax(10, 3);
    progress.setMin(1, 3);
    progress.setValue(value, 3);
    progress.incrValue(3);
    progress.setVisible(true, 3);
    const QByteArray log = rig.errorLog();
    for (const char* op : {"setWidthHeight", "setTopLeft", "visible", "max", "setMax", "setMin",
                           "setValue", "incrValue", "setVisible"}) {
        EXPECT_TRUE(log.contains(QByteArray("ERROR :: MyProgress:") + op +
                                 " :: (9) - Subscript out of range :: \r\n"))
            << op;
    }
    EXPECT_EQ(log.count("\r\n"), 9);
    EXPECT_EQ(value, 5);
}

} // namespace
