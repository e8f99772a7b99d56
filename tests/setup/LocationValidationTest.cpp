#include "setup/FrmSetup.h"

#include "SetupRig.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kCannotConnect = QStringLiteral("ERROR: Cannot connect to the NOAA website");

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(NIMBUSCOPE_PAGE_FIXTURES "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Opens the dialog of `r`, types `zip` and presses OK.
FrmSetup& okWith(SetupRig& r, const char* zip) {
    FrmSetup& d = r.open();
    d.zipcodeTextBox->setText(QLatin1String(zip));
    d.Ok_Click();
    return d;
}

/// The dialog is back where the user can correct the zip code or cancel.
void expectIdle(SetupRig& r, FrmSetup& d) {
    EXPECT_FALSE(d.TimerZipcode.isActive());
    EXPECT_TRUE(d.ValidatingZipcode->isHidden());
    EXPECT_FALSE(d.prompt->isHidden());
    EXPECT_TRUE(d.Ok->isEnabled() && d.zipcodeTextBox->isEnabled());
    EXPECT_FALSE(r.closedWith);
}

} // namespace

TEST(LocationValidationTest, AValidLocationPageStoresTheLocationAndCloses) {
    SetupRig rig;
    FakeRetriever& net = rig.withComponent();
    net.serve(rig.queryFor("66614"),
              {{PageRetriever::Running, PageRetriever::Running, PageRetriever::Done},
               fixture("absolute_radar_link.html"),
               "http://forecast.test/MapClick.php?zip=66614"});
    FrmSetup& d = okWith(rig, "66614");
    EXPECT_EQ(net.requested(), QStringList({rig.queryFor("66614")}));
    EXPECT_FALSE(d.Ok->isEnabled() || d.ValidatingZipcode->isHidden()) << "checking";
    d.TimerZipcode_Timer();
    d.TimerZipcode_Timer();
    EXPECT_FALSE(rig.closedWith); // still running
    d.TimerZipcode_Timer();

    EXPECT_EQ(rig.closedWith, QDialog::Accepted);
    EXPECT_EQ(rig.validations, 1);
    rig.expectStored({"zipcode=66614", "cityState=Topeka KS",
                      "templateURL=http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa",
                      "currentConditionsURL=http://forecast.test/MapClick.php?zip=66614"});
    EXPECT_TRUE(net.called("FreePage"));
}

// A zip code that is not five digits is refused before any request. A page trickling in for
// ever is given up after four network time-outs, counted in the dialog's own timer ticks.
TEST(LocationValidationTest, EveryFailedCheckReportsAndReturnsToIdle) {
    const QByteArray withLink = fixture("absolute_radar_link.html");
    const QString invalid = QStringLiteral("ERROR: Invalid zipcode");
    const QString notResponding = QStringLiteral("ERROR: NOAA website not responding");
    const QString contentError = QStringLiteral(
        "ERROR: NOAA website content error\r\n              or possible unsupported proxy "
        "environment");
    const int kFourTimeouts = 4 * 2000 / FrmSetup::kTimerZipcodeMs; // of 2 s each
    struct Row {
        const char* name;
        QByteArray page;
        QString message;
        QList<qint16> polls = {1};
        QString refusal = {};
        const char* zip = "66614";
        int ticks = 0; // the timer ticks the check takes, when not 0
    };
    const Row rows[] = {
        {"letters in the zip code", {}, "Invalid zipcode - must be five digits", {}, {}, "6661a"},
        {"no zip code", {}, "Invalid zipcode - must be five digits", {}, {}, ""},
        {"no match page", fixture("search_error.html"), invalid},
        {"error picture in capitals", withLink + "<img src='/images/ERROR.JPG'>", invalid},
        {"both error texts", "<h1>Server Error</h1><p>An error has occurred</p>", invalid},
        {"server error", fixture("server_error.html"), notResponding, {0, 1}},
        {"HTTP error answer", {}, notResponding, {0, PageRetriever::httpError(503)}},
        {"a place no radar covers", withLink + "<p>No NOAA radar covers this location.</p>",
         "ERROR: No NOAA radar covers this zip code.\r\nChoose the nearest radar site under "
         "City instead."},
        {"no radar link", QByteArray(withLink).replace("/radar/latest", "/radar/recent"),
         contentError},
        {"a link with no frame template",
         "<a href='http://radar.weather.gov/radar/latest/index.html'>Radar</a>", contentError},
        {"failed status", withLink, kCannotConnect, {0, 2}},
        {"refused start", withLink, kCannotConnect, {1}, "busy"},
        {"no answer", {}, kCannotConnect, {0}, {}, "66614", kFourTimeouts},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetupRig r;
        r.store("zipcode", "64106");
        r.store("networkTimeout", 2);
        FakeRetriever& net = r.withComponent();
        net.serve(r.queryFor(row.zip), {row.polls, row.page, {}});
        if (!row.refusal.isEmpty()) {
            net.refuse(r.queryFor(row.zip), row.refusal);
        }
        FrmSetup& d = okWith(r, row.zip);
        int ticks = 0;
        for (; ticks < 100 && d.TimerZipcode.isActive(); ++ticks) {
            d.TimerZipcode_Timer();
        }
        EXPECT_TRUE(row.ticks == 0 || ticks == row.ticks) << ticks;
        EXPECT_EQ(r.dialogs.messages, QStringList({row.message}));
        if (row.polls.isEmpty()) {
            EXPECT_TRUE(net.calls.isEmpty());
        } else {
            EXPECT_TRUE(net.called("KillAsyncRetrieve"));
            EXPECT_EQ(net.rcvTimeout, 2000);
        }
        expectIdle(r, d);
        EXPECT_EQ(r.validations, 0);
        r.expectStored({"zipcode=64106", "templateURL"});
    }
}

TEST(LocationValidationTest, CancelStopsTheCheckThenPutsTheLocationAtLoadBack) {
    SetupRig rig;
    rig.store("zipcode", "64106");
    rig.store("templateURL", "http://old/@@@@@/#####.noaa");
    rig.store("locationMode", 2);
    FakeRetriever& net = rig.withComponent();
    net.serve(rig.queryFor("66614"), {{PageRetriever::Running}, {}, {}});
    FrmSetup& d = rig.open();
    d.OptionZipCode_Click();
    d.zipcodeTextBox->setText(QStringLiteral("66614"));
    d.Ok_Click();
    rig.expectStored({"locationMode=1"}); // stored before the check
    d.TimerZipcode_Timer();

    d.CancelButton_Click();
    expectIdle(rig, d);
    EXPECT_TRUE(net.called("KillAsyncRetrieve"));
    EXPECT_FALSE(d.Cancel);

    d.CancelButton_Click();
    EXPECT_EQ(rig.closedWith, QDialog::Rejected);
    EXPECT_TRUE(d.Cancel);
    rig.expectStored(
        {"locationMode=2", "zipcode=64106", "templateURL=http://old/@@@@@/#####.noaa"});
}
