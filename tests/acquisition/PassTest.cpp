// What a pass owns: the cache's names and paths, what it keeps and deletes, retries, the
// offline count and the time limit. The schedule and the screen around it are the scenarios'.
#include "AcquisitionRig.h"

#include <QDir>
#include <QLabel>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const FakeRetriever::Response kFails{{FakeRetriever::ConnectionFailed}, {}, {}};

class PassTest : public AcquisitionRig {
protected:
    PassTest() { settings.saveTemplateURL(kTemplate); }
    /// Without the location page, as the timer cycle starts most passes.
    void runPass(bool refreshLocation = false) {
        startPass(refreshLocation, QString::fromLatin1(kZip));
        runTicks();
    }
    QString put(const QString& name, const QByteArray& bytes = frameBody()) {
        return world.writeFile(cached(name), bytes);
    }
    QStringList cacheNames() const {
        return QDir(cached({})).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    int activeFrames() const {
        int n = 0;
        for (qint16 i = 0; i < list.numDLitems(); ++i) {
            n += list.itemAt(i).active ? 1 : 0;
        }
        return n;
    }
};

} // namespace

TEST_F(PassTest, AStartDeletesOtherPlacesFilesAndHalfWrittenOnesButNeverTheCurrentPlaces) {
    put("11111.DS.p19r0.ktwx.dd.20261205.2045.noaa");
    put("11111.DS.p19r0.loop.txt", "list");
    put("11111.currentConditions.jpg", "jpg");
    put("66604.DS.p19r0.loop.txt", "own list");
    put("notes.md", "not ours");
    put(".nimbuscope-write-Ab12Cd", "half a frame");
    startPass(true);
    EXPECT_EQ(cacheNames(), QStringList({"66604.DS.p19r0.loop.txt", "notes.md"}));
    EXPECT_EQ(state.zipcode, "11111") << "the window's zip code names the place the cache held";

    serveEverything(10);
    runTicks();
    startPass(false, settings.getZipCode());
    EXPECT_EQ(QDir(cached({})).entryList({"66604.*.noaa"}, QDir::Files).size(), 20);
}

TEST_F(PassTest, OnlyAGoodPassEndDeletesAndItKeepsTheFramesOnDisplay) {
    put("66604.DS.p19r0.ktwx.dd.20261205.2040.noaa"); // unlisted, within the hour: shown first
    put("66604.DS.p19r0.ktwx.dd.20261205.1930.noaa"); // unlisted and two hours old
    serveEverything(10);
    net->queue(listURL(kLong), kFails);
    runPass();
    EXPECT_EQ(ada->networkProblemCount(), 1);
    EXPECT_TRUE(QFile::exists(cached("66604.DS.p19r0.ktwx.dd.20261205.1930.noaa")));
    runPass();
    ASSERT_EQ(list.numDLitems(), 21);
    EXPECT_EQ(list.itemAt(0).fileName, cached("66604.DS.p19r0.ktwx.dd.20261205.2040.noaa"));
    EXPECT_TRUE(list.itemAt(0).active);
    EXPECT_FALSE(QFile::exists(cached("66604.DS.p19r0.ktwx.dd.20261205.1930.noaa")));
}

// Nothing cached is lost because a server answered badly.
TEST_F(PassTest, AListAnswerThatIsNoListKeepsTheCacheAndEndsThePassAsAProblem) {
    const QString listFile = cached("66604.DS.p19r0.loop.txt");
    const struct {
        FakeRetriever::Response answer;
        QString logged;
    } rows[] = {
        {{{PageRetriever::httpError(500)}, "Server Error", {}},
         "transfer failed: HTTP 500 (status 1500) - "},
        {{{PageRetriever::Done},
          "<html><head><title>Sign in</title></head><body>"
          "<a href='http://portal.example/login.gif'>Sign in</a></body></html>",
          {}},
         "no frame in the list, the cached one is kept - "},
    };
    serveEverything(10);
    runPass();
    const QByteArray cachedList = world.readFile(listFile);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged.toStdString());
        net->queue(listURL(kShort), row.answer);
        runPass();
        EXPECT_EQ(ada->networkProblemCount(), 1);
        EXPECT_EQ(world.readFile(listFile), cachedList);
        EXPECT_EQ(list.numDLitems(), 20);
        EXPECT_EQ(QDir(cached({})).entryList({"*.noaa"}, QDir::Files).size(), 20);
        EXPECT_TRUE(errorLog().contains(
            "ERROR :: AsyncRadarURLListDownloadManager :: " + row.logged + listURL(kShort)));
        runPass();
        EXPECT_EQ(ada->networkProblemCount(), 0);
    }
}

TEST_F(PassTest, AFailedWriteLeavesNoHalfFileUnderTheFinalName) {
    writeBody = [](QIODevice& device, const QByteArray& bytes) {
        device.write(bytes.left(bytes.size() / 2));
        return qint64(-1);
    };
    serveEverything(10);
    runPass(true);
    EXPECT_EQ(endCalls, 0);
    EXPECT_EQ(cacheNames(), QStringList()) << "neither frames, lists, picture nor leftovers";
    ASSERT_EQ(list.numDLitems(), 20) << "the lists received are still used";
    EXPECT_FALSE(list.itemAt(0).active);
    EXPECT_TRUE(errorLog().contains("ERROR :: AsyncRadarImageDownloadManager :: (75) - "));
    EXPECT_EQ(net->requested().size(), 4 + 20) << "each frame fetched once per pass";
}

TEST_F(PassTest, AFrameWhoseFetchFailedIsLeftOutAndFetchedAgainByTheNextPass) {
    serveEverything(10);
    const QString failed = frameURL(kShort, serveList(kShort, 10)[3]);
    net->queue(failed, kFails);
    runPass();
    EXPECT_EQ(ada->networkProblemCount(), 0) << "one bad frame is no network problem";
    EXPECT_EQ(activeFrames(), 19);
    runPass();
    EXPECT_EQ(net->requestCount(failed), 2);
    EXPECT_EQ(activeFrames(), 20);
}

// Bad lines come first, so that any of them stopping the pass would stop it before the good one.
TEST_F(PassTest, ListLinesThatAreNoFrameOfTheListsServerAreSkippedAndLogged) {
    const QString good = frameURL(kShort, QStringLiteral("ktwx.dd.20261205.2130.gif"));
    const QList<QStringList> bad = goldenRows(QStringLiteral("list_lines.golden"));
    QByteArray text;
    for (const QStringList& b : bad) {
        text += b[0].toLatin1() + '\n';
    }
    net->serve(listURL(kShort), text + good.toLatin1() + '\n');
    net->serve(good, frameBody());
    serveFrames(kLong, serveList(kLong, 10, 35));
    runPass();
    EXPECT_EQ(ada->networkProblemCount(), 0);
    ASSERT_EQ(list.numDLitems(), 11);
    EXPECT_EQ(list.itemAt(0).fileName, cached("66604.DS.p19r0.ktwx.dd.20261205.2130.noaa"));
    EXPECT_EQ(net->requested().size(), 2 + 11) << "the lists and the good frames only";
    for (const QStringList& b : bad) {
        const QString normalised = QString(b[0]).replace(".gif", ".noaa").replace('\t', '?');
        EXPECT_TRUE(errorLog().contains("ERROR :: parseRadarListItems :: " + b[1] +
                                        ", line skipped: " + normalised))
            << b[0].toStdString();
    }
    QString twice = frameURL(kShort, QStringLiteral("ktwx.dd.20261205.2130.noaa")).repeated(2);
    for (const QString& zip : {QStringLiteral("../66604"), QString(), QStringLiteral("6 604")}) {
        EXPECT_FALSE(ada->parseRadarListItems(twice, kShort, "Short Range Radar", zip, cached({})));
    }
    EXPECT_TRUE(debugLogged("parseRadarListItems: no plain zip code (../66604), nothing added"));
}

// A flaky location page costs the pass nothing: the stored template still names the frames.
TEST_F(PassTest, TheLocationPageIsTriedFourTimesAndThenSkipped) {
    serveEverything(10);
    for (const int failures : {4, 3}) { // the first row keeps the query as the page's address
        for (int i = 0; i < failures; ++i) {
            net->queue(kZipCityURL, kFails);
        }
        net->calls.clear();
        runPass(true);
        EXPECT_EQ(net->requestCount(kZipCityURL), 4) << failures;
        EXPECT_EQ(net->requestCount(kConditionsURL), failures < 4 ? 1 : 0) << failures;
        EXPECT_EQ(ada->networkProblemCount(), 0);
        EXPECT_EQ(activeFrames(), 20);
    }
}

TEST_F(PassTest, FewFramesShowThePartialLineAndAnUnavailableRegionGivesWayToItsAlternate) {
    const struct {
        int frames;
        bool primaryUnavailable, partial;
    } rows[] = {{8, false, true}, {9, false, false}, {9, true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.frames + 10 * row.primaryUnavailable);
        for (const QString& name : cacheNames()) {
            QFile::remove(cached(name));
        }
        controls.RadarImagesMissing->hide();
        for (const QString& product : {kShort, kLong}) {
            for (const QString& gif : serveList(product, row.frames)) {
                net->serve(frameURL(product, gif), row.primaryUnavailable ? "n/a" : frameBody());
                net->serve(frameURL(product, gif, "radar2.weather.gov"), frameBody());
            }
        }
        runPass();
        EXPECT_EQ(controls.RadarImagesMissing->isVisible(), row.partial);
        // The frame that answered unavailable stays off screen for this pass.
        EXPECT_EQ(activeFrames(), 2 * row.frames - (row.primaryUnavailable ? 1 : 0));
    }
}

TEST_F(PassTest, ARequestTheNetworkComponentRefusesToStartEndsTheSaverWithItsCleanup) {
    serveLocation();
    const QStringList gifs = serveList(kShort, 10);
    serveFrames(kShort, gifs);
    serveFrames(kLong, serveList(kLong, 10));
    // Each pass gets as far as the refused request: the location page, its picture, a list,
    // a frame.
    for (const QString& address :
         {kZipCityURL, kConditionsURL, listURL(kLong), frameURL(kShort, gifs[0])}) {
        net->refuse(address, "busy");
        EXPECT_THROW(runPass(true), ProgramEnded) << address.toStdString();
        net->accept(address);
    }
    EXPECT_EQ(endCalls, 4);
    EXPECT_EQ(endSkipCleanup, false);
}

TEST_F(PassTest, APassStartedWhileATransferHangsKillsIt) {
    serveEverything(10);
    net->queue(listURL(kShort), {{FakeRetriever::Running}, {}, {}});
    startPass(false, QString::fromLatin1(kZip));
    for (int i = 0; i < 10; ++i) {
        ada->AsyncDownloadManager();
    }
    EXPECT_EQ(net->kills, 0);
    runPass();
    EXPECT_EQ(net->kills, 1);
    EXPECT_EQ(activeFrames(), 20);
}

TEST_F(PassTest, OfflineAfterMoreFailedPassesThanAllowedAndAGoodPassResetsTheCount) {
    setNumberSetting("networkMaxRetries", 2);
    serveEverything(10);
    net->serve(listURL(kShort), kFails);
    for (int pass = 1; pass <= 3; ++pass) {
        runPass();
        EXPECT_EQ(ada->networkProblemCount(), pass);
        EXPECT_EQ(state.offlineMode, pass == 3) << pass;
    }
    net->calls.clear();
    runPass();
    EXPECT_TRUE(net->requested().isEmpty()) << "offline, no pass asks anything";
    state.offlineMode = false; // the Enter key
    serveList(kShort, 10);
    runPass();
    EXPECT_EQ(ada->networkProblemCount(), 0);
}

TEST_F(PassTest, APassThatCannotEndIsEndedByItsTimeLimit) {
    setNumberSetting("networkTimeout", 2);
    serveEverything(10);
    settings.saveChannelIDs(16); // no radar channel: no list is ever asked for
    runPass();
    EXPECT_TRUE(net->requested().isEmpty());
    EXPECT_TRUE(debugLogged("ASDM: DateDiff exceeding max duration estimate"));
    EXPECT_FALSE(AsyncDownloadTimer.isEnabled());
    EXPECT_EQ(ada->networkProblemCount(), 1);
}

// A hostile server's picture may claim a screen many times larger than any real one.
TEST_F(PassTest, AConditionsPictureDeclaringTooLargeAScreenIsNotDecodedNorCached) {
    serveEverything(10);
    const QString kept = put("66604.currentConditions.jpg");
    net->serve(kConditionsURL, QByteArray::fromHex("47494638396188138813800000000000ffffff"
                                                   "2c00000000010001000002024401003b"));
    runPass(true);
    EXPECT_FALSE(state.currentConditionsImgIsValid);
    EXPECT_TRUE(errorLog().contains(
        "ERROR :: AsyncCurrentConditionsImageDownloadManager :: (481) - Invalid picture"));
    EXPECT_EQ(world.readFile(kept), frameBody()) << "the last good one stays";
}
