#include "ScenarioRig.h"

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

// Short junk lines in a list (blank, markup) are no frames and not worth an error line; a
// conditions answer that is no picture leaves the text without a picture.
TEST(AnimationScenario, AfterAPassTheInformationIsShownWithoutJunkLinesOrABrokenPicture) {
    for (const bool brokenPicture : {false, true}) {
        SCOPED_TRACE(brokenPicture);
        ScenarioRig rig;
        rig.network.script = [&](const QString& address) -> std::optional<Outcome> {
            if (brokenPicture && address.endsWith(QLatin1String(".jpg"))) {
                return Outcome::withBody("not a picture");
            }
            if (!address.contains(QLatin1String("/loopdata/"))) {
                return std::nullopt;
            }
            return Outcome::withBody("<pre>\n \n" + rig.network.simulated(address).body);
        };
        const QString log = rig.world.tmp() + "/Nimbuscope/tmp-tester/errorlog.txt";
        rig.world.writeFile(log, {}); // an error log that exists switches logging on
        rig.start();
        ASSERT_TRUE(rig.finishPass());
        rig.runFor(5);
        for (const char* name :
             {"ItemCaption", "CurrentRadarTimes", "currentTempF", "EscToChange"}) {
            EXPECT_TRUE(rig.shown(QLatin1String(name))) << name;
        }
        EXPECT_EQ(rig.shown(QStringLiteral("currentConditionsPictureBox")), !brokenPicture);
        EXPECT_FALSE(rig.input.cursorVisible()) << "the pointer is hidden over the radar";
        EXPECT_EQ(rig.caption(QStringLiteral("DownloadInfoChannelName")),
                  QStringLiteral("Nimbuscope for Kansas City, MO  (64106)"));
        const QString logged = QString::fromUtf8(rig.world.readFile(log));
        EXPECT_FALSE(logged.contains(QLatin1String("parseRadarListItems"))) << logged.toStdString();
    }
}

// Frames of the location in the cache play from the first tick after the logo, whatever the
// network does; the pass then puts its own in their place without a tick going blank.
TEST(AnimationScenario, CachedFramesPlayFromTheFirstTickWhateverTheNetworkDoes) {
    const FilledCache cache = ScenarioRig::fillCache(6);
    ASSERT_FALSE(cache.files.isEmpty());
    for (const qint64 latencyMs : {150, 15000, -1}) { // -1: offline
        SCOPED_TRACE(latencyMs);
        ScenarioRig rig;
        rig.seedCache(cache);
        rig.network.site().setFrameCount("", 9);
        rig.network.latencyMs = latencyMs;
        rig.network.offline = latencyMs < 0;
        rig.start();
        rig.runFor(120);
        ASSERT_FALSE(rig.framesShown.isEmpty());
        EXPECT_EQ(rig.framesShown.first(), FrmMain::kTimer1LoadMs);
        EXPECT_EQ(rig.blankTicks, 0);
        EXPECT_EQ(rig.window().displayList().numDLitems(), latencyMs < 0 ? 12 : 18);
    }
}
