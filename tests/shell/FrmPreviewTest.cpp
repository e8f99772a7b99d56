#include "shell/FrmPreview.h"

#include "shell/MyMain.h"
#include "shell/PreviewOpener.h"
#include "shell/WorkingFolder.h"

#include "bridge/AlertPoller.h"
#include "display/AlertBanner.h"
#include "support/FolderHandle.h"

#include "ShellRig.h"
#include "common/FakeEmbedding.h"
#include "e2e/kit/ImageCompare.h"

#include <QDir>
#include <QFile>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QSize kPictureSize(160, 121);

/// An answer with one alert from 21:00 UTC on the rig's day (the clock starts at 21:35:29).
QByteArray answerWith(const char* severity, const char* ends) {
    return QByteArray(R"({"features":[{"properties":{"event":"Tornado Warning","severity":")") +
           severity + R"(","onset":"2026-12-05T21:00:00Z","ends":"2026-12-05T)" + ends +
           R"(Z"}}]})";
}

class FrmPreviewTest : public ShellRig<> {
protected:
    bool previewLockHeld() { return locks.isHeld(QString::fromLatin1(kPreviewCaption)); }

    /// Keeps `text` as the saver's alerts file, in the folders the saver makes.
    void keepAlerts(const QByteArray& text) {
        const WorkingFolders folders = makeWorkingFolders(world.tmp(), *platform.user);
        ASSERT_TRUE(folders.data);
        ASSERT_TRUE(folders.data->replaceFile(QString(kKeptAlertsFileName), text));
    }

    FakeEmbedding embedding;
};

} // namespace

TEST(CoverSourceRect, CutsTheCentredMiddleOfTheLongerSide) {
    const struct {
        QSize picture, target;
        QRect expected;
    } rows[] = {
        {{160, 121}, {160, 121}, {0, 0, 160, 121}},  // same size
        {{160, 121}, {320, 242}, {0, 0, 160, 121}},  // same shape, larger
        {{160, 121}, {120, 121}, {20, 0, 120, 121}}, // narrower target: sides cut
        {{160, 121}, {160, 60}, {0, 30, 160, 60}},   // flatter target: top and bottom cut
        {{160, 121}, {152, 112}, {0, 1, 160, 118}},  // the classic preview area
        {{160, 121}, {1, 1000}, {79, 0, 1, 121}},    // a sliver keeps at least a column
        {{160, 121}, {30000, 1}, {0, 60, 160, 1}},   // and at least a row
        {{160, 121}, {0, 100}, {}},
        {{0, 0}, {100, 100}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.target.width() << "x" << row.target.height());
        EXPECT_EQ(coverSourceRect(row.picture, row.target), row.expected);
    }
}

// Loading takes the caption and shrinks the form without showing anything; a host that
// reports no size gets the picture at its own size.
TEST_F(FrmPreviewTest, LoadingTakesTheCaptionAndShowsNothingUntilShownInAHost) {
    embedding.size = QSize();
    FrmPreview form(app, embedding);
    EXPECT_TRUE(previewLockHeld());
    EXPECT_EQ(form.size(), QSize(1, 1));
    EXPECT_FALSE(form.isVisible() || form.Picture1.isVisible() || form.ExitTimer.isActive());
    EXPECT_FALSE(embedding.attachedTo.has_value());
    ASSERT_TRUE(form.showInParent(7));
    EXPECT_EQ(form.Picture1.size(), kPictureSize);
}

TEST_F(FrmPreviewTest, TheProgramEndsOnTheTimerTickAfterThePictureWindowIsGone) {
    const struct {
        const char* how;
        quint32 host;
    } rows[] = {{"host destroyed", 4242}, {"own window destroyed", 0}, {"own window closed", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        processEnd.endedWith.reset();
        FakeEmbedding watcher;
        FrmPreview form(app, watcher);
        ASSERT_TRUE(form.showInParent(row.host));
        if (QByteArray(row.how).endsWith("closed")) {
            form.Picture1.close();
        } else {
            emit watcher.windowGone();
        }
        // The end never comes while the destruction is being reported.
        EXPECT_TRUE(form.ExitTimer.isActive() && form.isLoaded());
        EXPECT_FALSE(processEnd.endedWith.has_value());
        EXPECT_EQ(endStatusOf([&] { form.ExitTimer_Timer(); }), 0);
        EXPECT_FALSE(form.isVisible() || form.isLoaded() || previewLockHeld());
    }
}

TEST_F(FrmPreviewTest, APictureThatIsMissingLeavesTheBoxBlack) {
    ShellServices noData = services();
    noData.folders.dataDir = world.tmp();
    SaverApp bare(noData);
    FrmPreview form(bare, embedding);
    ASSERT_TRUE(form.showInParent(5));
    EXPECT_TRUE(form.Picture1.picture().isNull());
    EXPECT_DOUBLE_EQ(e2e::colourShare(form.Picture1.grab().toImage(), qRgb(0, 0, 0)), 1.0);
}

// A host window that does not exist (or any id off X11) is refused and the preview let go.
TEST_F(FrmPreviewTest, TheOpenerKeepsALoadedPreviewAndLetsGoOfARefusedOne) {
    const auto openerWithHost = [](bool hostExists) {
        return std::make_unique<PreviewOpener>([hostExists] {
            auto fake = std::make_unique<FakeEmbedding>();
            fake->hostExists = hostExists;
            return fake;
        });
    };
    const auto refusing = openerWithHost(false);
    PreviewOpener offX11; // the real embedding, on the offscreen platform
    for (PreviewOpener* opener : {refusing.get(), &offX11}) {
        for (const qint32 handle : {99, -1, -2147483647 - 1}) {
            EXPECT_FALSE(opener->open(app, handle)) << handle;
            EXPECT_EQ(opener->form(), nullptr);
            EXPECT_FALSE(previewLockHeld());
        }
    }
    const auto opener = openerWithHost(true);
    EXPECT_TRUE(opener->open(app, 4242));
    ASSERT_NE(opener->form(), nullptr);
    EXPECT_TRUE(opener->form()->isVisible());
    EXPECT_TRUE(previewLockHeld());
}

TEST_F(FrmPreviewTest, ARedEdgeOnlyWhileTheKeptAlertsHoldASevereOneForTheLocation) {
    const QByteArray severe = answerWith("Severe", "22:00:00");
    const struct {
        const char* name;
        std::optional<QByteArray> kept; // none: the saver never made its folders
        const char* keptZip;            // empty: `kept` is the whole file
        qint32 showAlerts;
        bool reachedThroughLink;
        bool edge;
    } rows[] = {
        {"nothing kept", std::nullopt, "", 1, false, false},
        {"damaged file", "nimbuscope-alerts 1\t64106\n{\"features\":[{", "", 1, false, false},
        {"moderate only", answerWith("Moderate", "22:00:00"), "64106", 1, false, false},
        {"severe in effect", severe, "64106", 1, false, true},
        {"severe expired", answerWith("Severe", "21:35:29"), "64106", 1, false, false},
        {"kept for another location", severe, "80301", 1, false, false},
        {"alerts turned off", severe, "64106", 0, false, false},
        {"user's folder is a link", severe, "64106", 1, true, false},
    };
    app.settings().saveZipCode(QStringLiteral("64106"));
    const QString own = workingFolderFor(world.tmp(), *platform.user);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(world.tmp()).removeRecursively();
        QDir().mkpath(world.tmp());
        if (row.kept) {
            keepAlerts(*row.keptZip ? formatKeptAlerts({QLatin1String(row.keptZip), *row.kept})
                                    : *row.kept);
        }
        if (row.reachedThroughLink) {
            ASSERT_TRUE(QDir().rename(own, own + QStringLiteral("-elsewhere")));
            ASSERT_TRUE(QFile::link(own + QStringLiteral("-elsewhere"), own));
        }
        app.settings().saveShowAlerts(row.showAlerts);
        FrmPreview form(app, embedding);
        EXPECT_EQ(form.Picture1.alertEdge(), row.edge);
        EXPECT_TRUE(form.AlertTimer.isActive());
        if (!row.kept) {
            EXPECT_TRUE(QDir(world.tmp()).isEmpty()) << "the preview made a folder";
        }
    }
}

TEST_F(FrmPreviewTest, TheEdgeFramesThePictureAndGoesAtTheAlertsEnd) {
    app.settings().saveZipCode(QStringLiteral("64106"));
    app.settings().saveShowAlerts(1);
    keepAlerts(formatKeptAlerts({QStringLiteral("64106"), answerWith("Severe", "21:40:00")}));
    FrmPreview form(app, embedding);
    ASSERT_TRUE(form.showInParent(5));
    const QImage framed = form.Picture1.grab().toImage();
    ASSERT_EQ(framed.size(), QSize(152, 112));
    constexpr int kEdge = 3; // of the classic preview area; at least 2 in the smallest
    EXPECT_EQ(PreviewPicture::alertEdgeWidth({152, 112}), kEdge);
    EXPECT_EQ(PreviewPicture::alertEdgeWidth({40, 30}), 2);
    EXPECT_GT(PreviewPicture::alertEdgeWidth({304, 224}), kEdge);

    clock.advanceSeconds(5 * 60);
    form.AlertTimer_Timer();
    const QImage plain = form.Picture1.grab().toImage();
    const QRgb red = bannerBackground(BannerColour::Red).rgb();
    const QRect inside = framed.rect().adjusted(kEdge, kEdge, -kEdge, -kEdge);
    for (const QRect& side : {QRect(0, 0, 152, kEdge), QRect(0, 112 - kEdge, 152, kEdge),
                              QRect(0, 0, kEdge, 112), QRect(152 - kEdge, 0, kEdge, 112)}) {
        EXPECT_DOUBLE_EQ(e2e::colourShare(framed.copy(side), red), 1.0);
        EXPECT_DOUBLE_EQ(e2e::colourShare(plain.copy(side), red), 0.0);
    }
    EXPECT_EQ(e2e::meanColourDifference(framed.copy(inside), plain.copy(inside)), 0.0)
        << "the edge covers only its own strip";
    EXPECT_FALSE(form.Picture1.alertEdge());
}
