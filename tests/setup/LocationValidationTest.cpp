#include "setup/FrmSetup.h"

#include "SetupRig.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

constexpr char kTopekaTemplate[] = "http://radar.weather.gov/radar/images/@@@@@/SI.ktwx/#####.noaa";
constexpr char kRedirect[] = "http://forecast.test/MapClick.php?zip=66614";
const QString kContentError = QStringLiteral(
    "ERROR: NOAA website content error\r\n              or possible unsupported proxy environment");

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(NIMBUSCOPE_PAGE_FIXTURES "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class LocationValidationTest : public ::testing::Test {
protected:
    LocationValidationTest() {
        rig.store("zipcode", "64106");
        rig.store("cityState", "Kansas City MO");
        rig.store("templateURL", "http://old/@@@@@/#####.noaa");
        rig.store("currentConditionsURL", "http://old/MapClick.php");
    }

    /// Opens the dialog of `r`, types `zip` and presses OK.
    static FrmSetup& okWith(SetupRig& r, const char* zip) {
        FrmSetup& d = r.open();
        d.zipcodeTextBox->setText(QLatin1String(zip));
        d.Ok_Click();
        return d;
    }

    /// The dialog is back where the user can correct the zip code or cancel.
    static void expectIdle(SetupRig& r, FrmSetup& d) {
        EXPECT_FALSE(d.TimerZipcode.isActive());
        EXPECT_TRUE(d.ValidatingZipcode->isHidden());
        EXPECT_FALSE(d.prompt->isHidden());
        EXPECT_TRUE(d.Ok->isEnabled());
        EXPECT_TRUE(d.zipcodeTextBox->isEnabled());
        EXPECT_FALSE(r.closedWith);
    }

    /// The location the test stored, untouched.
    void expectOldLocation() {
        rig.expectStored({{"zipcode", "64106"},
                          {"templateURL", "http://old/@@@@@/#####.noaa"},
                          {"cityState", "Kansas City MO"},
                          {"currentConditionsURL", "http://old/MapClick.php"}});
    }

    SetupRig rig;
};

} // namespace

TEST_F(LocationValidationTest, MalformedZipCodesAreRefusedWithoutARequest) {
    // Which texts are zip codes is the rule's own table; here, what a refusal does.
    for (const char* zip : {"6661a", ""}) {
        SCOPED_TRACE(zip);
        SetupRig r;
        r.store("zipcode", "64106");
        FrmSetup& d = okWith(r, zip);
        EXPECT_EQ(r.dialogs.messages, QStringList({"Invalid zipcode - must be five digits"}));
        EXPECT_EQ(r.retriever, nullptr); // no component was even created
        expectIdle(r, d);
        EXPECT_EQ(r.stored("zipcode"), QStringLiteral("64106"));
    }
}

TEST_F(LocationValidationTest, AValidLocationPageStoresTheLocationAndCloses) {
    FakeRetriever& net = rig.withComponent();
    net.serve(rig.queryFor("66614"),
              {{PageRetriever::Running, PageRetriever::Running, PageRetriever::Done},
               fixture("absolute_radar_link.html"),
               kRedirect});
    FrmSetup& d = okWith(rig, "66614");
    EXPECT_EQ(rig.retriever->requested(), QStringList({rig.queryFor("66614")}));
    EXPECT_FALSE(d.Ok->isEnabled() || d.ValidatingZipcode->isHidden()) << "checking";
    d.TimerZipcode_Timer();
    d.TimerZipcode_Timer();
    EXPECT_FALSE(rig.closedWith); // still running
    d.TimerZipcode_Timer();

    EXPECT_EQ(rig.closedWith, QDialog::Accepted);
    EXPECT_EQ(rig.validations, 1);
    rig.expectStored({{"zipcode", "66614"},
                      {"templateURL", QLatin1String(kTopekaTemplate)},
                      {"cityState", "Topeka KS"},
                      {"currentConditionsURL", QLatin1String(kRedirect)}});
    EXPECT_TRUE(net.called("FreePage"));
    EXPECT_TRUE(rig.debugLog().contains(QLatin1String("FrmSetup: templateURL=(") + kTopekaTemplate));
}

TEST_F(LocationValidationTest, EveryFailedCheckReportsAndReturnsToIdle) {
    const QByteArray withLink = fixture("absolute_radar_link.html");
    const QString invalid = QStringLiteral("ERROR: Invalid zipcode");
    const QString noMatch = QStringLiteral("FrmSetup: zipcode validation returned no match");
    const QString noConnection = QStringLiteral("ERROR: Cannot connect to the NOAA website");
    const QString notResponding = QStringLiteral("ERROR: NOAA website not responding");
    const QString noaaError = QStringLiteral("FrmSetup: zipcode validation returned NOAA error");
    struct Row {
        const char* name;
        QByteArray page;
        QString message, logLine;
        QList<qint16> polls = {1};
        QString refusal = {};
    };
    const Row rows[] = {
        {"no match page", fixture("search_error.html"), invalid, noMatch},
        {"error picture in capitals", withLink + "<img src='/images/ERROR.JPG'>", invalid, noMatch},
        {"both error texts", "<h1>Server Error</h1><p>An error has occurred</p>", invalid, noMatch},
        {"server error", fixture("server_error.html"), notResponding, noaaError, {0, 1}},
        {"HTTP error answer", {}, notResponding, noaaError, {0, PageRetriever::httpError(503)}},
        {"a place no radar covers", withLink + "<p>No NOAA radar covers this location.</p>",
         "ERROR: No NOAA radar covers this zip code.\r\nChoose the nearest radar site under "
         "City instead.",
         "FrmSetup: zipcode validation found no radar"},
        {"no radar link", QByteArray(withLink).replace("/radar/latest", "/radar/recent"),
         kContentError, "FrmSetup:***"},
        {"a link with no frame template",
         "<a href='http://radar.weather.gov/radar/latest/index.html'>Radar</a>", kContentError,
         "FrmSetup:***<a href=\"http://radar.weather.gov/radar/latest/index.html\">"},
        {"failed status", withLink, noConnection,
         "FrmSetup: zipcode validation status check failed", {0, 2}},
        {"refused start", withLink, noConnection,
         "FrmSetup: zipcode validation init failed: busy", {1}, "busy"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SetupRig r;
        r.store("zipcode", "64106");
        FakeRetriever& net = r.withComponent();
        net.serve(r.queryFor("66614"), {row.polls, row.page, {}});
        if (!row.refusal.isEmpty()) {
            net.refuse(r.queryFor("66614"), row.refusal);
        }
        FrmSetup& d = okWith(r, "66614");
        for (int tick = 0; tick < 3 && d.TimerZipcode.isActive(); ++tick) {
            d.TimerZipcode_Timer();
        }
        EXPECT_EQ(r.dialogs.messages, QStringList({row.message}));
        EXPECT_TRUE(r.debugLog().contains(row.logLine)) << r.debugLog().toStdString();
        EXPECT_TRUE(net.called("KillAsyncRetrieve"));
        expectIdle(r, d);
        EXPECT_EQ(r.validations, 0);
        r.expectStored({{"zipcode", "64106"}, {"templateURL", QVariant()}});
    }
}

// A page trickling in for ever: the check gives up after four network time-outs, counted in
// the dialog's own timer ticks.
TEST_F(LocationValidationTest, ACheckWithoutAnAnswerEndsAfterFourNetworkTimeouts) {
    rig.store("networkTimeout", 2);
    FakeRetriever& net = rig.withComponent();
    net.serve(rig.queryFor("66614"), {{PageRetriever::Running}, {}, {}});
    FrmSetup& d = okWith(rig, "66614");
    EXPECT_EQ(net.rcvTimeout, 2000);
    const int ticks = 2 * 4 * 1000 / FrmSetup::kTimerZipcodeMs;
    for (int tick = 1; tick < ticks; ++tick) {
        d.TimerZipcode_Timer();
    }
    EXPECT_TRUE(d.TimerZipcode.isActive());
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());
    d.TimerZipcode_Timer();
    EXPECT_EQ(rig.dialogs.messages, QStringList({"ERROR: Cannot connect to the NOAA website"}));
    EXPECT_TRUE(rig.debugLog().contains("FrmSetup: zipcode validation timed out"));
    EXPECT_TRUE(net.called("KillAsyncRetrieve"));
    expectIdle(rig, d);
    expectOldLocation();
}

TEST_F(LocationValidationTest, CancelStopsTheCheckThenPutsTheLocationAtLoadBack) {
    rig.store("locationMode", 2);
    FakeRetriever& net = rig.withComponent();
    net.serve(rig.queryFor("66614"), {{PageRetriever::Running}, {}, {}});
    FrmSetup& d = rig.open();
    d.OptionZipCode_Click();
    d.zipcodeTextBox->setText(QStringLiteral("66614"));
    d.Ok_Click();
    EXPECT_EQ(rig.stored("locationMode"), 1); // stored before the check
    d.TimerZipcode_Timer();

    d.CancelButton_Click();
    expectIdle(rig, d);
    EXPECT_TRUE(net.called("KillAsyncRetrieve"));
    EXPECT_FALSE(d.Cancel);
    const QString log = rig.debugLog();
    EXPECT_LT(log.indexOf(QStringLiteral("FrmSetup: cancelling zipcityQuery")),
              log.indexOf(QStringLiteral("FrmSetup: cancelled zipcityQuery")));

    d.CancelButton_Click();
    EXPECT_EQ(rig.closedWith, QDialog::Rejected);
    EXPECT_TRUE(d.Cancel);
    EXPECT_EQ(rig.stored("locationMode"), 2);
    expectOldLocation();
}
