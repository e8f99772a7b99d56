#include "AcquisitionRig.h"

using namespace nimbuscope;
using namespace nimbuscope::test;

using PassTest = AcquisitionRig;

TEST_F(PassTest, FullPassFillsTheCacheAndTheDisplayList) {
    serveEverything(10);
    EXPECT_FALSE(startPass());
    EXPECT_TRUE(AsyncDownloadTimer.isEnabled());
    EXPECT_EQ(net->rcvTimeout, 30000);
    EXPECT_EQ(controls.DownloadInfo->text(), "Downloading Radar Updates...");
    EXPECT_TRUE(progress->visible(kDownloadBar));
    EXPECT_EQ(controls.DownloadInfo->x(), (1024 - controls.DownloadInfo->width()) / 2);
    EXPECT_EQ(progress->MyProgressBarBack(kDownloadBar)->pos(),
              QPoint(60, controls.DownloadInfo->geometry().bottom() + 1));
    EXPECT_EQ(doEventsCalls, 1);

    runTicks();
    EXPECT_FALSE(AsyncDownloadTimer.isEnabled());
    EXPECT_EQ(endCalls, 0);
    const QStringList requested = net->requested();
    ASSERT_GE(requested.size(), 4);
    EXPECT_EQ(requested.mid(0, 4), QStringList({locationQuery(), conditionsImageURL(),
                                                listURL(kShort), listURL(kLong)}));
    EXPECT_EQ(requested.size(), 4 + 20);

    ASSERT_EQ(list.numDLitems(), 20);
    for (int i = 0; i < 20; ++i) {
        const DisplayItem item = list.itemAt(i);
        EXPECT_TRUE(item.active) << i;
        EXPECT_FALSE(item.needsDownloading) << i;
        EXPECT_EQ(world.readFile(item.fileName), frameBody()) << i;
        EXPECT_EQ(item.radarID, i < 10 ? kShort : kLong);
    }
    EXPECT_EQ(list.itemAt(0).fileName, cached("66604.DS.p19r0.ktwx.dd.20261205.2045.noaa"));
    EXPECT_TRUE(exists("66604.DS.p19r0.loop.txt"));
    EXPECT_TRUE(exists("66604.DS.p20-r.loop.txt"));
    EXPECT_EQ(world.readFile(cached("66604.currentConditions.jpg")), conditionsBody());
    EXPECT_TRUE(state.currentConditionsImgIsValid);
    EXPECT_FALSE(controls.currentConditionsPictureBox->picture().isNull());

    EXPECT_EQ(settings.getTemplateURL(), kTemplate);
    EXPECT_EQ(settings.getCityState(), "Topeka KS");
    EXPECT_EQ(settings.getCurrentConditionsURL(), locationPageURL());
    EXPECT_EQ(ada->windowTitle(), "Nimbuscope for Topeka KS  (66604)");
    EXPECT_EQ(controls.DownloadInfoChannelName->text(), ada->windowTitle());
    EXPECT_TRUE(state.zipcodeIsValid);

    EXPECT_FALSE(progress->visible(kDownloadBar));
    EXPECT_TRUE(controls.DownloadInfo->isHidden());
    EXPECT_TRUE(controls.NetworkProblem->isHidden());
    EXPECT_TRUE(controls.RadarImagesMissing->isHidden());
    EXPECT_EQ(ada->networkProblemCount(), 0);
    EXPECT_TRUE(debugLogged("AcquireData:AsyncDownloadManager, complete"));
    EXPECT_TRUE(debugLogged("ADM: step 5, DL=20"));
}

// The same rule as the setup's zip code check: the stored location (its page address
// included) changes only for a page that gives a usable frame template.
TEST_F(PassTest, ALocationPageWithoutAUsableTemplateStoresNothing) {
    const QString withLink = fixtureText("absolute_radar_link.html");
    const QString rows[] = {
        QString(withLink).replace("/radar/latest", "/radar/recent"),
        "<html><body><a href='http://radar.weather.gov/radar/latest/index.html'>Radar</a>" +
            QString(60, ' ') + "</body></html>",
    };
    for (const QString& page : rows) {
        SCOPED_TRACE(page.left(60).toStdString());
        settings.saveTemplateURL(kTemplate);
        settings.saveCityState("Topeka KS");
        settings.saveCurrentConditionsURL(QString());
        net->serve(locationQuery(), {{FakeRetriever::Done},
                                     textToAnsi(page),
                                     "http://forecast.weather.gov/elsewhere.html"});
        startPass();
        ASSERT_TRUE(tickUntil([&] { return ada->passState().zipCityDone; }));
        EXPECT_EQ(settings.getTemplateURL(), kTemplate);
        EXPECT_EQ(settings.getCityState(), "Topeka KS");
        EXPECT_EQ(settings.getCurrentConditionsURL(), QString());
        EXPECT_TRUE(debugLogged("ADA:AZCDM: parse statics failed"));
    }
}

TEST_F(PassTest, CachedFramesAreNotFetchedAgainAndArePreloadedCompact) {
    serveEverything(10);
    startPass();
    runTicks();
    const int before = int(net->requested().size());

    state.preloadImages = true;
    list.initDisplayList(true, false); // no picture backup to restore
    startPass(false, QString::fromLatin1(kZip));
    runTicks();
    const QStringList second = net->requested().mid(before);
    EXPECT_EQ(second, QStringList({listURL(kShort), listURL(kLong)}));
    ASSERT_EQ(list.numDLitems(), 20);
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(list.itemAt(i).active);
        EXPECT_TRUE(list.itemAt(i).pictureLoaded);
        EXPECT_TRUE(list.picture(i).isPacked()) << i;
    }
}

TEST_F(PassTest, StoredTemplateWithoutRefreshStartsAtTheShortRangeList) {
    settings.saveTemplateURL(kTemplate);
    serveEverything(10);
    startPass(false);
    runTicks();
    ASSERT_FALSE(net->requested().isEmpty());
    EXPECT_EQ(net->requested().first(), listURL(kShort));
    EXPECT_EQ(net->requestCount(conditionsImageURL()), 0);
    EXPECT_EQ(list.numDLitems(), 20);
    // The steps skipped leave their part of the download bar unused.
    EXPECT_EQ(progress->max(kDownloadBar), AcquireDataAsync::kPassStepsWithoutLocation);
}

TEST_F(PassTest, LocationPageFailuresAreRetriedThreeTimes) {
    const QByteArray errorPage = fixtureBytes(QStringLiteral("server_error.html"));
    const struct {
        const char* name;
        int failures;
        bool errorPages;
        bool pageRead;
    } rows[] = {
        {"three failed transfers", 3, false, true},
        {"four failed transfers", 4, false, false},
        {"three error pages", 3, true, true},
        {"four error pages", 4, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        net->calls.clear();
        settings.saveTemplateURL(kTemplate);
        settings.saveCurrentConditionsURL({});
        settings.saveCityState({});
        serveEverything(10);
        for (int i = 0; i < row.failures; ++i) {
            net->queue(locationQuery(),
                       row.errorPages
                           ? FakeRetriever::Response{{FakeRetriever::Done}, errorPage, {}}
                           : FakeRetriever::Response{{FakeRetriever::TimedOut}, {}, {}});
        }
        startPass(true);
        runTicks();
        EXPECT_EQ(net->requestCount(locationQuery()), 4);
        EXPECT_EQ(net->requestCount(conditionsImageURL()), row.pageRead ? 1 : 0);
        EXPECT_EQ(settings.getCityState(), row.pageRead ? "Topeka KS" : "");
        // An error page's address is never kept as the location's page.
        EXPECT_EQ(settings.getCurrentConditionsURL(), row.pageRead ? locationPageURL() : "");
        EXPECT_EQ(list.numDLitems(), 20) << "the pass goes on with the stored template";
        EXPECT_EQ(ada->networkProblemCount(), 0);
        EXPECT_EQ(debugLogged("ASDM: ZipCity returned gbNetworkProblem"), !row.pageRead);
        world.writeFile(QStringLiteral("debuglog.txt"), {});
    }
}

TEST_F(PassTest, ConditionCaptionsFollowTheLocationPage) {
    const QString degree = QString(QChar(176));
    const struct {
        const char* fixture;
        QString temperature;
        QString conditions;
    } rows[] = {
        {"absolute_radar_link.html", " 72" + degree, "Overcast"},
        {"no_temperature_cell.html", "", "Light Rain"},
        {"no_image_after_forecast_marker.html", " 65" + degree, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fixture);
        serveLocation(QString::fromLatin1(row.fixture));
        settings.saveCurrentConditionsURL({});
        startPass(true);
        ASSERT_TRUE(tickUntil([&] { return ada->passState().zipCityDone; }));
        EXPECT_EQ(controls.currentTempF->text(), row.temperature);
        EXPECT_EQ(controls.currentConditions->text(), row.conditions);
    }
    EXPECT_TRUE(debugLogged("FORECAST=Light Rain"));
}

TEST_F(PassTest, RadarTimesShowTheSpanOfBothProducts) {
    serveLocation();
    // Short range 20:45-21:30, long range 20:35-21:35 (GMT is local time here).
    serveFrames(kShort, serveList(kShort, 10, 30));
    serveFrames(kLong, serveList(kLong, 13, 35));
    startPass();
    runTicks();
    EXPECT_EQ(controls.CurrentRadarTimes->text(), "8:35pm - 9:35pm");
    EXPECT_EQ(controls.currentRadarTimesLabel->text(), "Current Radar");
    EXPECT_EQ(state.cycleFrameCounts, (std::array<qint16, 2>{10, 13}));
    EXPECT_EQ(state.secondCycleStart, 10);
    EXPECT_EQ(progress->min(kRadarTimeBar), 1);
    EXPECT_EQ(progress->max(kRadarTimeBar), 13);
    EXPECT_TRUE(progress->visible(kRadarTimeBar));
}

TEST_F(PassTest, RefusedRequestEndsTheSaver) {
    const struct {
        QString address;
        const char* line;
    } rows[] = {
        {locationQuery(), "AsyncZipCityDownloadManager: errorno socket"},
        {conditionsImageURL(), "AsyncCurrentConditionsImageDownloadManager: no socket"},
        {listURL(kLong), "AsyncRadarURLListDownloadManager: no socket"},
        {frameURL(kShort, "ktwx.dd.20261205.2045.gif"), "async download object failed: no socket"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        settings.saveCurrentConditionsURL({});
        serveEverything(10);
        net->refuse(row.address, QStringLiteral("no socket"));
        list.initDisplayList(true, false);
        for (const QString& name : QDir(data()).entryList(QDir::Files)) {
            QFile::remove(cached(name));
        }
        startPass();
        const int ends = endCalls;
        EXPECT_THROW(runTicks(), ProgramEnded);
        EXPECT_EQ(endCalls, ends + 1);
        EXPECT_EQ(endSkipCleanup, false);
        EXPECT_TRUE(debugLogged(QString::fromLatin1(row.line)));
        net->accept(row.address);
    }
}

TEST_F(PassTest, SecondStartWhileAPassRunsKillsItAndStartsAfresh) {
    serveEverything(10);
    net->serve(listURL(kShort), {{FakeRetriever::Running}, {}, {}});
    startPass();
    ASSERT_TRUE(tickUntil([&] { return net->requestCount(listURL(kShort)) == 1; }));
    ASSERT_FALSE(net->RetrieveIsActive().isEmpty());

    startPass(false, QString::fromLatin1(kZip));
    EXPECT_EQ(net->kills, 1);
    EXPECT_TRUE(debugLogged("getWeatherRadar: double up attempt, killing hung thread"));
    EXPECT_TRUE(debugLogged("getWeatherRadar: double up attempt, killed hung thread"));
    EXPECT_FALSE(ada->passState().shortRangeListRequestActive);
    const auto requestsBefore = net->requested().size();
    clock.advanceMs(100);
    ada->AsyncDownloadManager();
    EXPECT_EQ(net->requested().size(), requestsBefore + 1);
    EXPECT_EQ(net->requested().last(), listURL(kShort)) << "a new request, not a poll";
}

TEST_F(PassTest, RefusedPassesWriteOnlyTheirLogLine) {
    state.offlineMode = true;
    EXPECT_TRUE(startPass());
    EXPECT_TRUE(debugLogged("getWeatherRadar: offline mode detected, returning..."));
    state.offlineMode = false;
    myHTTPRetrieve.reset();
    net = nullptr;
    EXPECT_TRUE(startPass());
    EXPECT_TRUE(debugLogged("getWeatherRadar: myHTTPRetrieve is nothing, returning..."));
    EXPECT_FALSE(AsyncDownloadTimer.isEnabled());
    EXPECT_FALSE(progress->visible(kDownloadBar));
}

TEST_F(PassTest, AConditionsPictureDeclaringTooLargeAScreenIsNotDecodedNorCached) {
    serveEverything(10);
    const QString cachedPicture =
        world.writeFile(cached("66604.currentConditions.jpg"), conditionsBody());
    // A 1 x 1 GIF on a 5000 x 5000 screen: 100 MB decoded, beyond the picture limit.
    net->serve(conditionsImageURL(), QByteArray::fromHex("47494638396188138813800000000000ffffff"
                                                         "2c00000000010001000002024401003b"));
    startPass();
    runTicks();
    EXPECT_FALSE(state.currentConditionsImgIsValid);
    EXPECT_TRUE(controls.currentConditionsPictureBox->picture().isNull());
    EXPECT_TRUE(errorLog().contains(
        "ERROR :: AsyncCurrentConditionsImageDownloadManager :: (481) - Invalid picture"));
    EXPECT_EQ(world.readFile(cachedPicture), conditionsBody()) << "the last good one stays";
}

TEST_F(PassTest, AnInterruptedPassStartsAfreshOnTheNextTick) {
    serveEverything(10);
    startPass();
    ASSERT_TRUE(tickUntil([&] { return ada->passState().shortRangeListDone; }));
    ASSERT_EQ(list.numDLitems(), 10);
    state.interruptedDownload = true;
    state.locationChanged = true;
    state.currentConditionsImgIsValid = true;
    state.zipcodeIsValid = false;
    settings.saveCityState(QStringLiteral("Lawrence KS"));
    const auto before = net->requested().size();

    clock.advanceMs(100);
    ada->AsyncDownloadManager();
    EXPECT_FALSE(state.interruptedDownload);
    EXPECT_FALSE(state.currentConditionsImgIsValid);
    EXPECT_TRUE(state.zipcodeIsValid);
    EXPECT_EQ(controls.DownloadInfoChannelName->text(), "Nimbuscope for Lawrence KS  (66604)");
    EXPECT_EQ(progress->value(kDownloadBar), 1);
    EXPECT_EQ(progress->max(kDownloadBar), AcquireDataAsync::kPassSteps);
    EXPECT_EQ(list.numDLitems(), 0);
    ASSERT_EQ(net->requested().size(), before + 1);
    EXPECT_EQ(net->requested().last(), locationPageURL()) << "the location page is read again";
    runTicks();
    EXPECT_EQ(list.numDLitems(), 20);
}

TEST_F(PassTest, AnErrorInAStepIsTrappedUnderItsOwnName) {
    serveEverything(10);
    startPass();
    myHTTPRetrieve.reset();
    clock.advanceMs(100);
    ada->AsyncDownloadManager();
    EXPECT_TRUE(errorLog().contains("ERROR :: AsyncZipCityDownloadManager :: (424) - "));
    EXPECT_TRUE(debugLogged("ADA: AsyncZipCityDownloadManager: ERROR RAISED AND HANDLED"));
    EXPECT_EQ(endCalls, 0);

    // In the frame step an unexpected error ends the saver.
    auto fake = std::make_unique<FakeRetriever>();
    net = fake.get();
    myHTTPRetrieve.reset(std::move(fake));
    serveEverything(10);
    ASSERT_TRUE(tickUntil([&] { return ada->passState().longRangeListDone; }));
    myHTTPRetrieve.reset();
    clock.advanceMs(100);
    EXPECT_THROW(ada->AsyncDownloadManager(), ProgramEnded);
    EXPECT_TRUE(errorLog().contains("ERROR :: AsyncRadarImageDownloadManager :: (424) - "));
    EXPECT_TRUE(debugLogged("ERROR: Nimbuscope async download manager failure"));
}
