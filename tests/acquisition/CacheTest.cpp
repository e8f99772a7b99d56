#include "AcquisitionRig.h"

#include "retrieval/CacheFiles.h"

#include <QDir>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

class CacheTest : public AcquisitionRig {
protected:
    CacheTest() { settings.saveTemplateURL(kTemplate); }
    QString put(const QString& name, const QByteArray& bytes = frameBody()) {
        return world.writeFile(cached(name), bytes);
    }
    QStringList cacheNames() const {
        return QDir(data()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    int cachedFrames() const {
        return int(QDir(data()).entryList({QStringLiteral("66604.*.noaa")}, QDir::Files).size());
    }
};

} // namespace

TEST_F(CacheTest, PassStartDeletesOtherLocationsFilesAndHalfWrittenOnes) {
    put("11111.DS.p19r0.ktwx.dd.20261205.2045.noaa");
    put("11111.DS.p19r0.loop.txt", "list");
    put("11111.currentConditions.jpg", "jpg");
    put("66604.DS.p19r0.loop.txt", "own list");
    put("notes.md", "not ours");
    put(".nimbuscope-write-Ab12Cd", "half a frame");

    startPass(true);
    EXPECT_EQ(cacheNames(), QStringList({"66604.DS.p19r0.loop.txt", "notes.md"}));
    // The window's zip code names the location the cache held.
    EXPECT_EQ(state.zipcode, "11111");
}

TEST_F(CacheTest, ACacheOfAnotherLocationAtStartNeverCostsTheCurrentLocationItsFiles) {
    put("11111.DS.p19r0.ktwx.dd.20261205.2045.noaa");
    serveEverything(10);
    startPass(true);
    runTicks();
    EXPECT_EQ(cachedFrames(), 20);
    EXPECT_FALSE(exists("11111.DS.p19r0.ktwx.dd.20261205.2045.noaa"));

    // The timer cycle's next pass passes the window's zip code and the setting.
    startPass(false, settings.getZipCode());
    EXPECT_EQ(cachedFrames(), 20);
    EXPECT_TRUE(exists("66604.DS.p19r0.loop.txt"));
}

TEST_F(CacheTest, GoodPassEndKeepsOnlyTheFramesOnDisplay) {
    // Unlisted but within an hour of the newest listed frame: shown before the list.
    put("66604.DS.p19r0.ktwx.dd.20261205.2040.noaa");
    // Unlisted and two hours old: left out, then deleted.
    put("66604.DS.p19r0.ktwx.dd.20261205.1930.noaa");
    serveEverything(10);

    // A failed pass deletes nothing at its end.
    net->queue(listURL(QStringLiteral("DS.p20-r")), {{FakeRetriever::ConnectionFailed}, {}, {}});
    startPass(false, settings.getZipCode());
    runTicks();
    EXPECT_EQ(ada->networkProblemCount(), 1);
    EXPECT_TRUE(exists("66604.DS.p19r0.ktwx.dd.20261205.1930.noaa"));

    startPass(false, settings.getZipCode());
    runTicks();
    ASSERT_EQ(list.numDLitems(), 21);
    EXPECT_EQ(list.itemAt(0).fileName, cached("66604.DS.p19r0.ktwx.dd.20261205.2040.noaa"));
    EXPECT_EQ(list.itemAt(0).sourceName,
              "http://radar.weather.gov/radar/images/DS.p19r0/SI.ktwx/ktwx.dd.20261205.2040.noaa");
    EXPECT_TRUE(list.itemAt(0).active);
    EXPECT_TRUE(exists("66604.DS.p19r0.ktwx.dd.20261205.2040.noaa"));
    EXPECT_FALSE(exists("66604.DS.p19r0.ktwx.dd.20261205.1930.noaa"));
}

TEST_F(CacheTest, AFailedWriteLeavesNoHalfFileUnderTheFinalName) {
    writeBody = [](QIODevice& device, const QByteArray& bytes) {
        device.write(bytes.left(bytes.size() / 2));
        return qint64(-1);
    };
    serveEverything(10);
    startPass(true);
    runTicks();
    EXPECT_EQ(endCalls, 0);
    EXPECT_FALSE(AsyncDownloadTimer.isEnabled());
    EXPECT_EQ(cacheNames(), QStringList()) << "neither frames, lists, picture nor leftovers";
    ASSERT_EQ(list.numDLitems(), 20) << "the lists received are still used";
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(list.itemAt(i).active) << i;
        EXPECT_FALSE(list.itemAt(i).needsDownloading) << i;
    }
    EXPECT_TRUE(errorLog().contains("ERROR :: AsyncRadarImageDownloadManager :: (75) - "));
    EXPECT_TRUE(state.currentConditionsImgIsValid) << "the picture came with the transfer";
    EXPECT_EQ(net->requested().size(), 4 + 20) << "each frame fetched once per pass";
}

// Bad lines come first, so that any of them stopping the pass would stop it before the good
// frames.
TEST_F(CacheTest, ListLinesThatAreNoFrameOfTheListsServerAreSkippedAndLogged) {
    const QString good = QStringLiteral("ktwx.dd.20261205.2130.gif");
    const struct {
        QString line;
        const char* reason;
    } bad[] = {
        {"file:///etc/passwd.gif", "not an address of the list's server"},
        {"/etc/ktwx.dd.20261205.2125.gif", "not an address of the list's server"},
        {frameURL(kShort, good, "elsewhere.invalid"), "not an address of the list's server"},
        {"ftp://radar.weather.gov/radar/images/DS.p19r0/SI.ktwx/" + good,
         "not an address of the list's server"},
        {frameURL(kShort, "..\\..\\ktwx.dd.20261205.2125.gif"), "unsafe frame name"},
        {frameURL(kShort, "ktwx.dd.20261205.2120\t.gif"), "unsafe frame name"},
        {frameURL(kShort, "ktwx..dd.20261205.2115.gif"), "unsafe frame name"},
        {frameURL(kShort, "index.gif"), "not a frame"},
        // the line where a list was cut short
        {frameURL(kShort, "ktwx.dd.20261205.2110.g"), "not a frame"},
    };
    QByteArray text;
    for (const auto& b : bad) {
        text += b.line.toLatin1() + '\n';
    }
    text += frameURL(kShort, good).toLatin1() + '\n';
    serveLocation();
    net->serve(listURL(kShort), text);
    net->serve(frameURL(kShort, good), frameBody());
    serveFrames(kLong, serveList(kLong, 10, 35));
    startPass(false, settings.getZipCode());
    runTicks();
    EXPECT_EQ(ada->networkProblemCount(), 0);
    ASSERT_EQ(list.numDLitems(), 11);
    EXPECT_EQ(list.itemAt(0).fileName, cached("66604.DS.p19r0.ktwx.dd.20261205.2130.noaa"));
    EXPECT_TRUE(list.itemAt(0).active);
    EXPECT_EQ(net->requested().size(), 2 + 11) << "the lists and the good frames only";
    for (const auto& b : bad) {
        const QString normalised = QString(b.line).replace(".gif", ".noaa");
        EXPECT_TRUE(
            errorLog().contains("ERROR :: parseRadarListItems :: " + QLatin1String(b.reason) +
                                ", line skipped: " + QString(normalised).replace('\t', '?')))
            << b.line.toStdString();
    }
}

TEST_F(CacheTest, AZipCodeThatIsNotPlainNamesNoCacheFile) {
    QString text = frameURL(kShort, QStringLiteral("ktwx.dd.20261205.2130.noaa")).repeated(2);
    for (const QString& zip : {QStringLiteral("../66604"), QString(), QStringLiteral("6 604")}) {
        SCOPED_TRACE(zip.toStdString());
        EXPECT_FALSE(ada->parseRadarListItems(text, kShort, "Short Range Radar", zip, data()));
        EXPECT_EQ(list.numDLitems(), 0);
    }
    EXPECT_TRUE(debugLogged("parseRadarListItems: no plain zip code (../66604), nothing added"));
}
