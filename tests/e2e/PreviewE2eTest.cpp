// The preview of the real saver program ("/p <window id>") on a private X server, with the
// test playing the host program that owns the preview area.
#include "bridge/AlertPoller.h"
#include "shell/WorkingFolder.h"
#include "support/FolderHandle.h"

#include "common/TestWorld.h"
#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/SaverWorld.h"
#include "e2e/kit/XvfbSession.h"

#include <QDir>

#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

using namespace nimbuscope::e2e;
using namespace nimbuscope::test;

namespace {

constexpr int kDrawnWithinMs = 10000;
// Starting Qt takes a moment, but a refused start must not wait for anything.
constexpr int kAtOnceMs = 5000;
constexpr int kGoneWithinMs = 500;
constexpr QRgb kHostColour = 0xff00ff;
// Equal pictures differ by nothing; a scaled one by its smoothing.
constexpr double kSamePicture = 1.0;
constexpr double kSameScaledPicture = 6.0;

QImage storedPicture() {
    return QImage(QStringLiteral(NIMBUSCOPE_PREVIEW_PICTURE)).convertToFormat(QImage::Format_RGB32);
}

class PreviewE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_RUNNING(session);
        ASSERT_EQ(picture.size(), QSize(160, 121));
    }

    std::unique_ptr<ProgramRun> preview(const QStringList& arguments) {
        return session.run(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), arguments);
    }

    quint32 makeHost(const QRect& area) { return session.x().createWindow(area, kHostColour); }

    /// True once `window` shows `expected` (within `tolerance`).
    bool shows(quint32 window, const QImage& expected, double tolerance) {
        return waitUntil(
            [&] {
                const double d = meanColourDifference(session.x().grabWindow(window), expected);
                return d >= 0 && d < tolerance;
            },
            kDrawnWithinMs);
    }

    bool untouched(quint32 host) {
        return session.x().children(host).isEmpty() &&
               colourShare(session.x().grabWindow(host), kHostColour) == 1.0;
    }

    TestWorld world; // first: the programs run in its folders
    XvfbSession session;
    const QImage picture = storedPicture();
};

} // namespace

TEST_F(PreviewE2eTest, ThePictureFillsItsHostFollowsItsSizeAndEndsWithIt) {
    const quint32 host = makeHost({40, 30, 160, 121});
    ASSERT_NE(host, 0u);
    const auto run = preview({QStringLiteral("/p"), QString::number(host)});
    ASSERT_TRUE(shows(host, picture, kSamePicture)) << run->describe().toStdString();
    EXPECT_EQ(session.x().children(host).size(), 1);
    EXPECT_FALSE(session.findWindows(QStringLiteral("^NimbuscopePreview$")).isEmpty());

    ASSERT_TRUE(session.x().resizeWindow(host, {320, 242}));
    EXPECT_TRUE(shows(host,
                      picture.scaled(320, 242, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                      kSameScaledPicture));
    // A narrower area shows the middle of the picture, unscaled here.
    ASSERT_TRUE(session.x().resizeWindow(host, {120, 121}));
    EXPECT_TRUE(shows(host, picture.copy(20, 0, 120, 121), kSamePicture));

    ASSERT_TRUE(session.x().destroyWindow(host));
    ASSERT_TRUE(run->waitForEnd(kGoneWithinMs)) << "still running after the host went";
    EXPECT_TRUE(run->endedNormally());
    EXPECT_EQ(run->exitCode(), 0) << run->describe().toStdString();
    const QStringList written =
        QDir(world.tmp()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_TRUE(written.isEmpty()) << "written: " << written.join(QLatin1Char(' ')).toStdString();
}

TEST_F(PreviewE2eTest, ASecondPreviewIsRefusedWhileTheFirstRuns) {
    const quint32 first = makeHost({10, 10, 160, 121});
    const quint32 second = makeHost({200, 10, 160, 121});
    const auto running = preview({QStringLiteral("/p ") + QString::number(first)});
    ASSERT_TRUE(shows(first, picture, kSamePicture)) << running->describe().toStdString();

    const auto refused = preview({QStringLiteral("/P"), QString::number(second)});
    ASSERT_TRUE(refused->waitForEnd(kAtOnceMs));
    EXPECT_TRUE(refused->endedNormally());
    EXPECT_EQ(refused->exitCode(), 0);
    EXPECT_TRUE(untouched(second));
    EXPECT_TRUE(running->isRunning());

    ASSERT_TRUE(session.x().destroyWindow(first));
    EXPECT_TRUE(running->waitForEnd(kGoneWithinMs));
}

TEST_F(PreviewE2eTest, AWindowIdThatLeadsNowhereEndsTheProgramAtOnce) {
    const quint32 gone = makeHost({0, 0, 10, 10});
    ASSERT_TRUE(session.x().destroyWindow(gone));
    const QString rows[] = {QString::number(gone), QStringLiteral("536870911"),
                            QStringLiteral("2147483647"), QStringLiteral("-42")};
    // A program that ends within moments of its start can crash LeakSanitizer's own tracer at
    // exit on this kernel ("Tracer caught signal 11"), which is no leak; its leak check is
    // left out for these runs only.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.contains(QStringLiteral("ASAN_OPTIONS"))) {
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) +
                               QStringLiteral(":detect_leaks=0"));
    }
    for (const QString& id : rows) {
        SCOPED_TRACE(id.toStdString());
        const auto run = session.run(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM),
                                     {QStringLiteral("/p"), id}, environment);
        ASSERT_TRUE(run->waitForEnd(kAtOnceMs)) << "waits for a window that is not there";
        EXPECT_TRUE(run->endedNormally());
        EXPECT_EQ(run->exitCode(), 0) << run->describe().toStdString();
    }
    EXPECT_DOUBLE_EQ(colourShare(session.x().grabScreen(), 0x000000), 1.0);
}

TEST_F(PreviewE2eTest, WithoutAHostThePictureStandsAloneUntilItsWindowIsDestroyed) {
    const quint32 host = makeHost({300, 200, 160, 121});
    // The id is read as a decimal number, so a hexadecimal one gives 0: no host.
    const QStringList rows[] = {{QStringLiteral("/p")},
                                {QStringLiteral("/p"), QStringLiteral("0x%1").arg(host, 0, 16)}};
    for (const QStringList& arguments : rows) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        const auto run = preview(arguments);
        const quint32 own = session.waitForWindow(QStringLiteral("^Nimbuscope$"), kDrawnWithinMs);
        ASSERT_NE(own, 0u) << run->describe().toStdString();
        EXPECT_TRUE(shows(own, picture, kSamePicture));
        EXPECT_TRUE(untouched(host));

        ASSERT_TRUE(session.x().destroyWindow(own));
        ASSERT_TRUE(run->waitForEnd(kGoneWithinMs));
        EXPECT_EQ(run->exitCode(), 0) << run->describe().toStdString();
    }
}

TEST_F(PreviewE2eTest, ASevereAlertKeptByTheSaverEdgesThePictureInRed) {
    writeHives(world, "\"zipcode\"=\"64106\"\n");
    const nimbuscope::WorkingFolders folders = nimbuscope::makeWorkingFolders(
        world.tmp(), QString::fromLocal8Bit(getpwuid(geteuid())->pw_name));
    ASSERT_TRUE(folders.data);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QByteArray answer =
        R"({"features":[{"properties":{"event":"Tornado Warning","severity":"Severe","onset":")" +
        now.addSecs(-600).toString(Qt::ISODate).toLatin1() + R"(","ends":")" +
        now.addSecs(3600).toString(Qt::ISODate).toLatin1() + R"("}}]})";
    ASSERT_TRUE(folders.data->replaceFile(QString(nimbuscope::kKeptAlertsFileName),
                                          nimbuscope::formatKeptAlerts({"64106", answer})));

    const quint32 host = makeHost({40, 30, 160, 121});
    const auto run = preview({QStringLiteral("/p"), QString::number(host)});
    constexpr QRgb kEdgeRed = 0xb00000;
    EXPECT_TRUE(waitUntil(
        [&] {
            const QImage shown = session.x().grabWindow(host);
            return colourShare(shown.copy(0, 0, 160, 2), kEdgeRed) == 1.0 &&
                   colourShare(shown.copy(0, 0, 2, 121), kEdgeRed) == 1.0;
        },
        kDrawnWithinMs))
        << run->describe().toStdString();
    ASSERT_TRUE(session.x().destroyWindow(host));
    EXPECT_TRUE(run->waitForEnd(kGoneWithinMs));
}
