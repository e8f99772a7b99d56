#include "AcquisitionRig.h"

#include <QDir>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const FakeRetriever::Response kFails{{FakeRetriever::ConnectionFailed}, {}, {}};

class ProblemTest : public AcquisitionRig {
protected:
    ProblemTest() { settings.saveTemplateURL(kTemplate); }
    /// A pass without the location page, as the timer cycle starts most of them.
    void runPass() {
        startPass(false, QString::fromLatin1(kZip));
        runTicks();
    }
};

} // namespace

TEST_F(ProblemTest, ListFailureRebuildsTheDisplayFromTheCachedLists) {
    serveEverything(10);
    runPass();
    ASSERT_EQ(list.numDLitems(), 20);

    // The short list arrives and is added; the long one fails.
    net->serve(listURL(kLong), kFails);
    runPass();
    EXPECT_TRUE(debugLogged("ASDM: DSp20r returned gbNetworkProblem"));
    EXPECT_TRUE(debugLogged("ASDM: gbNetworkProblem #1"));
    EXPECT_TRUE(debugLogged("ASDM: killed any active retrieve thread"));
    EXPECT_EQ(ada->networkProblemCount(), 1);
    EXPECT_EQ(controls.retryCount->text(), "1 retries");
    EXPECT_FALSE(controls.NetworkProblem->isHidden());
    EXPECT_FALSE(AsyncDownloadTimer.isEnabled());
    EXPECT_FALSE(progress->visible(kDownloadBar));
    EXPECT_TRUE(controls.DownloadInfo->isHidden());
    EXPECT_FALSE(state.offlineMode);
    // Both products from the cache, each frame once.
    ASSERT_EQ(list.numDLitems(), 20);
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(list.itemAt(i).active) << i;
        EXPECT_EQ(list.itemAt(i).radarID, i < 10 ? kShort : kLong) << i;
    }
    EXPECT_EQ(controls.CurrentRadarTimes->text(), "8:45pm - 9:35pm");
    EXPECT_TRUE(net->RetrieveIsActive().isEmpty()) << "no transfer outlives the pass";
}

// Nothing cached is lost because a server answered badly: the cached list and frames stay,
// the pass ends as a network problem and the error log says what came.
TEST_F(ProblemTest, AListAnswerThatIsNoListKeepsTheCacheAndEndsThePassAsAProblem) {
    const QString listFile = cached("66604.DS.p19r0.loop.txt");
    const QByteArray portal = "<html><head><title>Sign in</title></head><body>"
                              "<a href='http://portal.example/login.gif'>Sign in</a></body></html>";
    const struct {
        const char* name;
        FakeRetriever::Response answer;
        QString logged;
    } rows[] = {
        {"HTTP error",
         {{PageRetriever::httpError(500)}, "Server Error", {}},
         "ERROR :: AsyncRadarURLListDownloadManager :: transfer failed: HTTP 500 (status 1500) - " +
             listURL(kShort)},
        {"a page naming no frame",
         {{PageRetriever::Done}, portal, {}},
         "ERROR :: AsyncRadarURLListDownloadManager :: no frame in the list, the cached one is "
         "kept - " +
             listURL(kShort)},
    };
    serveEverything(10);
    runPass();
    const QByteArray cachedList = world.readFile(listFile);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        net->queue(listURL(kShort), row.answer);
        runPass();
        EXPECT_EQ(ada->networkProblemCount(), 1);
        EXPECT_FALSE(controls.NetworkProblem->isHidden());
        EXPECT_EQ(world.readFile(listFile), cachedList);
        EXPECT_EQ(list.numDLitems(), 20);
        EXPECT_EQ(QDir(data()).entryList({"*.noaa"}, QDir::Files).size(), 20);
        EXPECT_TRUE(errorLog().contains(row.logged)) << errorLog().toStdString();
        runPass();
        EXPECT_EQ(ada->networkProblemCount(), 0);
    }
}

TEST_F(ProblemTest, AFailedFrameIsFetchedAgainNextPassWhileTheOthersComeNow) {
    serveLocation();
    const QList<ScriptedFrame> frames = serveList(kShort, 10);
    serveFrames(kShort, frames);
    serveFrames(kLong, serveList(kLong, 10, 35));
    const QString bad = frameURL(kShort, frames[0].gifName);
    net->queue(bad, {{PageRetriever::Truncated}, {}, {}});
    runPass();
    EXPECT_EQ(ada->networkProblemCount(), 0);
    EXPECT_TRUE(controls.NetworkProblem->isHidden());
    ASSERT_EQ(list.numDLitems(), 20);
    EXPECT_FALSE(list.itemAt(0).active);
    EXPECT_FALSE(exists("66604.DS.p19r0." + frames[0].noaaName()));
    for (int i = 1; i < 20; ++i) {
        EXPECT_TRUE(list.itemAt(i).active) << i;
    }
    EXPECT_TRUE(errorLog().contains(
        "ERROR :: AsyncRadarImageDownloadManager :: transfer failed: answer cut short (status "
        "11) - " +
        bad));

    runPass();
    EXPECT_EQ(net->requestCount(bad), 2);
    EXPECT_TRUE(list.itemAt(0).active);

    // When every frame fails and none comes, the network is at fault.
    for (const QString& product : {kShort, kLong}) {
        for (const ScriptedFrame& f : serveList(product, 10, product == kShort ? 40 : 45)) {
            net->serve(frameURL(product, f.gifName), {{PageRetriever::ConnectionFailed}, {}, {}});
        }
    }
    runPass();
    EXPECT_EQ(ada->networkProblemCount(), 1);
    EXPECT_FALSE(controls.NetworkProblem->isHidden());
}

TEST_F(ProblemTest, OfflineAfterMoreFailedPassesThanAllowedAndAGoodPassResetsTheCount) {
    setNumberSetting("networkMaxRetries", 2);
    serveEverything(10);
    net->serve(listURL(kShort), kFails);
    for (int pass = 1; pass <= 3; ++pass) {
        SCOPED_TRACE(pass);
        runPass();
        EXPECT_EQ(ada->networkProblemCount(), pass);
        EXPECT_EQ(controls.retryCount->text(), QString::number(pass) + " retries");
        EXPECT_EQ(state.offlineMode, pass == 3);
        EXPECT_EQ(list.numDLitems(), 0) << "nothing cached to rebuild from";
        EXPECT_FALSE(controls.NetworkProblem->isHidden());
    }
    EXPECT_TRUE(debugLogged("ASDM: Switching to offline mode"));
    const auto requests = net->requested().size();
    EXPECT_TRUE(startPass(false, QString::fromLatin1(kZip)));
    EXPECT_EQ(net->requested().size(), requests);

    // The Enter key leaves offline mode; the list answers again.
    state.offlineMode = false;
    serveList(kShort, 10);
    runPass();
    EXPECT_EQ(ada->networkProblemCount(), 0);
    EXPECT_TRUE(debugLogged(
        "ASDM: ======= Successfull Download, so resetting networkProblemCount ======="));
    EXPECT_EQ(list.numDLitems(), 20);
    EXPECT_TRUE(controls.NetworkProblem->isHidden());
}

TEST_F(ProblemTest, WithoutTheRadarChannelNoListIsFetchedAndThePassTimesOut) {
    setNumberSetting("networkTimeout", 2);
    serveEverything(10);
    for (const qint32 channels : {16, 1}) {
        SCOPED_TRACE(channels);
        settings.saveChannelIDs(channels);
        const auto before = net->requested().size();
        runPass();
        EXPECT_EQ(net->requested().size(), before);
        EXPECT_EQ(list.numDLitems(), 0);
        EXPECT_TRUE(debugLogged("ASDM: DateDiff exceeding max duration estimate"));
        EXPECT_FALSE(controls.NetworkProblem->isHidden());
        EXPECT_FALSE(AsyncDownloadTimer.isEnabled());
    }
    EXPECT_EQ(ada->networkProblemCount(), 2);
}

TEST_F(ProblemTest, RadarUnavailableFrameSwitchesToTheAlternateRegion) {
    serveEverything(10);
    const QList<ScriptedFrame> frames = serveList(kShort, 10);
    const QString alternate = QStringLiteral("radar2.weather.gov");
    net->serve(frameURL(kShort, frames[0].gifName), QByteArray(100, 'x'));
    for (const QString& product : {kShort, kLong}) {
        for (const ScriptedFrame& f : serveList(product, 10, product == kShort ? 30 : 35)) {
            net->serve(frameURL(product, f.gifName, alternate), frameBody());
        }
    }
    // Unavailable from the alternate server too: that frame just stays off screen.
    net->serve(frameURL(kShort, frames[2].gifName, alternate), QByteArray(7000, 'y') + '\n');
    runPass();

    const QStringList frameRequests = net->requested().mid(2);
    ASSERT_EQ(frameRequests.size(), 20);
    EXPECT_EQ(frameRequests.first(), frameURL(kShort, frames[0].gifName));
    for (const QString& address : frameRequests.mid(1)) {
        EXPECT_TRUE(address.contains(alternate)) << address.toStdString();
    }
    EXPECT_TRUE(debugLogged("ARIDMgr: RadarUnavailableImage returned TRUE"));
    EXPECT_TRUE(debugLogged("AcquireData:ARIDMgr UNAVAIL flag on file: " +
                            cached("66604.DS.p19r0." + frames[2].noaaName())));
    for (int i = 0; i < 20; ++i) {
        const DisplayItem item = list.itemAt(i);
        EXPECT_EQ(item.active, i != 0 && i != 2) << i;
        EXPECT_FALSE(item.needsDownloading) << i;
    }
    // Inactive frames go with the purge at the end of the good pass.
    EXPECT_FALSE(exists("66604.DS.p19r0." + frames[0].noaaName()));
    EXPECT_FALSE(exists("66604.DS.p19r0." + frames[2].noaaName()));
    EXPECT_EQ(ada->networkProblemCount(), 0);
}

TEST_F(ProblemTest, FewFramesShowRadarPartiallyUnavailable) {
    const struct {
        int shortFrames, longFrames;
        bool missingShown;
    } rows[] = {{9, 8, true}, {9, 9, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.longFrames);
        serveFrames(kShort, serveList(kShort, row.shortFrames));
        serveFrames(kLong, serveList(kLong, row.longFrames, 35));
        runPass();
        EXPECT_EQ(list.numDLitems(), row.shortFrames + row.longFrames);
        EXPECT_EQ(!controls.RadarImagesMissing->isHidden(), row.missingShown);
        EXPECT_TRUE(controls.NetworkProblem->isHidden());
    }
}
