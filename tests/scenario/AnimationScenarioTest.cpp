#include "ScenarioRig.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

TEST(AnimationScenario, Smoke) {
    ScenarioRig rig;
    rig.start();
    ASSERT_FALSE(rig.ended());
    rig.runFor(120);
    EXPECT_FALSE(rig.ended());
    for (const ShownFrame& f : rig.framesShown) {
        qDebug() << f.atMs << f.position << f.caption << f.holdMs;
    }
    qDebug() << rig.network.requests.size() << rig.network.requests.mid(0, 8);
    qDebug() << rig.errorLog();
    qDebug() << rig.timer1().intervalsSet.mid(0, 40);
}
