// The saver with two screens: the other screen covered, input on its cover, the window of a
// screen-saver host, and an end the system asks for.
#include "ScenarioFakes.h"
#include "ScenarioRig.h"

#include "display/AlertBanner.h"
#include "display/MyProgress.h"
#include "display/PictureBox.h"
#include "shell/ScreenCovers.h"
#include "shell/SharedCache.h"

#include "common/FakeEmbedding.h"
#include "e2e/kit/ImageCompare.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>

#include <csignal>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QList<int>& endsInEvents() {
    return ScenarioApplication::instance().endedInEvents;
}

/// Where a shown control puts its ink: a label's text as its font lays it out in the label
/// (which may run past the label, clipped), a picture's or bar's whole box.
struct Drawn {
    QString name;
    QRect ink;
    QRect box;
};

QList<Drawn> drawnControls(FrmMain& window) {
    QList<Drawn> drawn;
    for (const char* name :
         {"DownloadInfoChannelName", "EscToChange", "currentTime", "ImageDate", "ItemCaption",
          "currentTempF", "currentConditions", "currentRadarTimesLabel", "CurrentRadarTimes"}) {
        const auto* label = window.findChild<QLabel*>(QLatin1String(name));
        if (label->isHidden() || label->text().trimmed().isEmpty()) {
            continue;
        }
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect ink = QFontMetrics(label->font())
                              .boundingRect(label->contentsRect(), flags, label->text().trimmed())
                              .translated(label->pos());
        drawn.append({QLatin1String(name), ink, label->geometry()});
    }
    const SaverControls& c = window.controls();
    for (QWidget* box :
         {static_cast<QWidget*>(c.Picture1), static_cast<QWidget*>(c.currentConditionsPictureBox),
          c.progress->MyProgressBarBack(kRadarTimeBar),
          window.findChild<QWidget*>(QStringLiteral("AlertBanner"))}) {
        if (box != nullptr && !box->isHidden()) {
            drawn.append({box->objectName(), box->geometry(), box->geometry()});
        }
    }
    return drawn;
}

std::string describe(const Drawn& d) {
    return QStringLiteral("%1 %2,%3 %4x%5")
        .arg(d.name)
        .arg(d.ink.x())
        .arg(d.ink.y())
        .arg(d.ink.width())
        .arg(d.ink.height())
        .toStdString();
}

/// Everything on screen lies inside the window, every text inside its label, and no two
/// overlap (but for an alert's banner over the product's heading).
void expectTidyLayout(FrmMain& window) {
    const QList<Drawn> drawn = drawnControls(window);
    EXPECT_GE(drawn.size(), 11) << "title, hint, clock, caption, picture and both side panels";
    const QRect area(QPoint(0, 0), window.size());
    for (qsizetype i = 0; i < drawn.size(); ++i) {
        EXPECT_TRUE(area.contains(drawn[i].ink)) << describe(drawn[i]);
        EXPECT_TRUE(drawn[i].box.contains(drawn[i].ink)) << "clipped: " << describe(drawn[i]);
        for (qsizetype j = i + 1; j < drawn.size(); ++j) {
            const bool bannerOverHeading = drawn[i].name == QLatin1String("ItemCaption") &&
                                           drawn[j].name == QLatin1String("AlertBanner");
            EXPECT_TRUE(bannerOverHeading || !drawn[i].ink.intersects(drawn[j].ink))
                << describe(drawn[i]) << " and " << describe(drawn[j]);
        }
    }
}

CoverWindow* onlyCover(ScenarioRig& rig) {
    const ScreenCovers* covers = rig.window().covers();
    return covers != nullptr && covers->windows().size() == 1 ? covers->windows().first() : nullptr;
}

} // namespace

TEST(ScreensScenario, TheOtherScreenIsCoveredBlackAndTopmostWhileTheWindowLives) {
    QPointer<CoverWindow> cover;
    {
        ScenarioRig rig;
        rig.start();
        ASSERT_EQ(QGuiApplication::screens().size(), 2);
        QScreen* other = QGuiApplication::screens().at(1);
        EXPECT_EQ(rig.window().geometry(), QGuiApplication::primaryScreen()->geometry());
        cover = onlyCover(rig);
        ASSERT_NE(cover, nullptr);
        EXPECT_TRUE(cover->isVisible());
        EXPECT_EQ(cover->geometry(), other->geometry());
        EXPECT_TRUE(
            cover->windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
        EXPECT_DOUBLE_EQ(e2e::colourShare(cover->grab().toImage(), 0xff000000), 1.0);
    }
    EXPECT_TRUE(cover.isNull());
}

TEST(ScreensScenario, InputOnTheCoverIsInputOnTheSaverWindow) {
    const auto move = [](QPoint by) {
        return [by](ScenarioRig& rig, QWidget* c) {
            rig.input.position += by;
            sendMouse(c, QEvent::MouseMove);
        };
    };
    const struct {
        const char* name;
        std::function<void(ScenarioRig&, QWidget*)> input;
        bool ends, opensSettings;
    } rows[] = {
        {"key", [](ScenarioRig&, QWidget* c) { sendKey(c, Qt::Key_A); }, true, false},
        {"Esc", [](ScenarioRig&, QWidget* c) { sendKey(c, Qt::Key_Escape); }, false, true},
        {"button", [](auto&, QWidget* c) { sendMouse(c, QEvent::MouseButtonPress); }, true, false},
        {"move 20", move({20, 20}), false, false},
        {"move 21", move({0, 21}), true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        endsInEvents().clear();
        ScenarioRig rig;
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        CoverWindow* cover = onlyCover(rig);
        ASSERT_NE(cover, nullptr);
        row.input(rig, cover);
        // Not compared as lists: Qt 6.4 compares two empty ones with memcmp on null pointers.
        EXPECT_EQ(endsInEvents().size(), row.ends ? 1 : 0);
        EXPECT_EQ(endsInEvents().value(0), 0);
        EXPECT_EQ(rig.setup.shown, row.opensSettings ? 1 : 0);
    }
}

// In a host's window the saver draws at its size. Below the design size the whole layout shrinks
// in proportion, from the start or when the host's window changes size, and nothing overlaps or
// is cut off, an alert's banner included. Full screen keeps the design as it was.
TEST(ScreensScenario, InASmallWindowTheLayoutShrinksWithoutOverlapOrClipping) {
    const struct {
        QSize start; // none: full screen, 1024 x 768
        QSize later;
    } rows[] = {{{725, 407}, {}}, {{}, {}}, {{1024, 768}, {640, 480}}, {{640, 480}, {1024, 768}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.start.width() << "x" << row.start.height() << " "
                                        << row.later.width() << "x" << row.later.height());
        FakeEmbedding host;
        host.size = row.start;
        ScenarioRig rig({.alerts = true});
        rig.alerts.issue("Tornado Warning", "Severe", 60);
        rig.host = row.start.isEmpty() ? nullptr : &host;
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        ASSERT_TRUE(rig.finishPass());
        rig.runFor(5);
        if (!row.later.isEmpty()) {
            emit host.hostResized(row.later);
            rig.runFor(5);
            EXPECT_EQ(rig.window().screenGeometry(), QRect(QPoint(), row.later));
        }
        const SaverControls& c = rig.window().controls();
        const QSize size = rig.window().size();
        const double scale = std::min({1.0, size.width() / 1024.0, size.height() / 768.0});
        EXPECT_EQ(c.Picture1->size(), QSize(qRound(600 * scale), qRound(550 * scale)))
            << "the frame shrinks with the rest";
        EXPECT_EQ(c.DownloadInfoChannelName->font().pixelSize(), qRound(18 * scale));
        if (row.start.isEmpty()) {
            EXPECT_EQ(c.Picture1->geometry(), QRect(212, 120, 600, 550)) << "as designed";
        }
        EXPECT_FALSE(rig.window().alertBanner()->isHidden());
        expectTidyLayout(rig.window());
    }
}

// Copies sharing one cache (a host's screens, its preview) take turns at the downloads: a
// copy that finds the turn taken sends nothing, plays the cache and picks up each pass the
// other copy completes; once that copy has ended it takes the turn and goes on from the cache.
TEST(ScreensScenario, CopiesSharingACacheTakeTurnsAtTheDownloads) {
    const FilledCache earlier = ScenarioRig::fillCache(6);
    const FilledCache later = ScenarioRig::fillCache(9);
    FakeEmbedding host;
    ScenarioRig rig;
    rig.host = &host;
    rig.seedCache(earlier);
    auto otherCopy = rig.locks.acquire(QString::fromLatin1(SharedCache::kDownloadLockName));
    const auto listed = [&] { return rig.window().displayList().numDLitems(); };
    rig.start();
    rig.runFor(30);
    EXPECT_TRUE(rig.network.requests.isEmpty());
    ASSERT_FALSE(rig.framesShown.isEmpty());
    EXPECT_EQ(rig.framesShown.first().atMs, FrmMain::kTimer1LoadMs);
    EXPECT_EQ(listed(), 12);

    rig.seedCache(later);
    const qint64 written = rig.nowMs();
    ASSERT_TRUE(rig.runUntil([&] { return listed() == 18; }, 10));
    EXPECT_LE(rig.nowMs() - written, SharedCache::kLookIntervalMs + 2000);
    EXPECT_TRUE(rig.network.requests.isEmpty());

    otherCopy.reset();
    ASSERT_TRUE(rig.runUntil([&] { return !rig.passesStarted.isEmpty(); }, 3));
    ASSERT_TRUE(rig.finishPass());
    EXPECT_FALSE(rig.network.requests.isEmpty());
    EXPECT_EQ(rig.blankTicks, 0);
    EXPECT_FALSE(rig.ended());
}

// In a host's window the end the host asked for finishes by dying of its signal: a host
// takes any other end of its display mode for a crash.
TEST(ScreensScenario, AnEndTheSystemAsksForGoesThroughEndProgram) {
    for (const bool inHost : {false, true}) {
        SCOPED_TRACE(inHost);
        FakeEmbedding host;
        ScenarioRig rig;
        rig.host = inHost ? &host : nullptr;
        ASSERT_TRUE(rig.startPastTheFirstFrame());
        rig.deliver([&] { rig.app.requestEnd(SIGTERM); });
        EXPECT_EQ(rig.processEnd.endedBySignal, inHost ? std::optional(SIGTERM) : std::nullopt);
        EXPECT_EQ(rig.endStatus, inHost ? 128 + SIGTERM : 0);
        EXPECT_FALSE(rig.timer1().isEnabled());
        if (!inHost) {
            EXPECT_TRUE(rig.input.cursorVisible());
        }
    }
}
