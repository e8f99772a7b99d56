#include "shell/FrmPreview.h"

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

/// An answer with one alert from 21:00 UTC on the rig's day (the clock starts at 21:35:29).
QByteArray answerWith(const char* severity, const char* ends) {
    return QByteArray(R"({"features":[{"properties":{"event":"Tornado Warning","severity":")") +
           severity + R"(","onset":"2026-12-05T21:00:00Z","ends":"2026-12-05T)" + ends +
           R"(Z"}}]})";
}

class FrmPreviewTest : public ShellRig {
protected:
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

// The edge is a red strip round the picture, over nothing else, and goes at the alert's end.
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
    const QRgb red = bannerBackground(BannerColour::Red).rgb();
    const QString own = workingFolderFor(world.tmp(), *platform.user);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(world.tmp()).removeRecursively();
        QDir().mkpath(world.tmp());
        if (row.kept) { // in the folders the saver makes
            const QByteArray text = *row.keptZip
                                        ? formatKeptAlerts({QLatin1String(row.keptZip), *row.kept})
                                        : *row.kept;
            const WorkingFolders made = makeWorkingFolders(world.tmp(), *platform.user);
            ASSERT_TRUE(made.data && made.data->replaceFile(QString(kKeptAlertsFileName), text));
        }
        if (row.reachedThroughLink) {
            ASSERT_TRUE(QDir().rename(own, own + QStringLiteral("-elsewhere")));
            ASSERT_TRUE(QFile::link(own + QStringLiteral("-elsewhere"), own));
        }
        app.settings().saveShowAlerts(row.showAlerts);
        FrmPreview form(app, embedding);
        ASSERT_TRUE(form.showInParent(5));
        EXPECT_EQ(form.Picture1.alertEdge(), row.edge);
        EXPECT_TRUE(form.AlertTimer.isActive());
        if (!row.kept) {
            EXPECT_TRUE(QDir(world.tmp()).isEmpty()) << "the preview made a folder";
        }
        const QImage shown = form.Picture1.grab().toImage();
        const int edge = PreviewPicture::alertEdgeWidth(shown.size());
        ASSERT_GE(edge, 2);
        const QRect inside = shown.rect().adjusted(edge, edge, -edge, -edge);
        clock.advanceSeconds(3600);
        form.AlertTimer_Timer();
        EXPECT_FALSE(form.Picture1.alertEdge());
        const QImage plain = form.Picture1.grab().toImage();
        clock.advanceSeconds(-3600);
        for (const QRect& side :
             {QRect(0, 0, shown.width(), edge), QRect(0, 0, edge, shown.height()),
              QRect(0, inside.bottom() + 1, shown.width(), edge),
              QRect(inside.right() + 1, 0, edge, shown.height())}) {
            EXPECT_DOUBLE_EQ(e2e::colourShare(shown.copy(side), red), row.edge ? 1.0 : 0.0);
        }
        EXPECT_EQ(e2e::meanColourDifference(shown.copy(inside), plain.copy(inside)), 0.0);
    }
}
