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

} // namespace
