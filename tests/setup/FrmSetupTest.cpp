#include "setup/FrmSetup.h"
#include "platform/InstanceLocks.h"
#include "registry/MemoryRegistry.h"
#include "retrieval/PageRetriever.h"
#include "settings/RegistryValues.h"
#include "setup/SetupChoices.h"
#include "support/Log.h"

#include "common/FakeClock.h"
#include "common/FakeDialogs.h"
#include "common/FakeRetriever.h"
#include "common/RegistryValue.h"
#include "common/TestWorld.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <thread>

using namespace nimbuscope;
using namespace nimbuscope::test;

/// Lets test failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

/// One setup dialog in a private world: memory registry, scripted dialogs and a small radar
/// site list in the home folder.
class SetupRig {
public:
    static constexpr const char* kValidationHost = "validate.test:8080";

    SetupRig()
        : log(clock, platform),
          settings(registry, platform, log, world.root() + QStringLiteral("/share")),
          locks(world.runtimeDir()) {
        store(QStringLiteral("validationServerHost"), QLatin1String(kValidationHost));
        // A small list in the file's own form: one state, two cities.
        world.writeFile(
            QStringLiteral("share/RadarList.txt"),
            "STATE: KS\r\n"
            "\"http://radar.test/radar/latest/DS.p19r0/si.kddc.shtml\",\"Dodge City\",\"67801\"\r\n"
            "\"http://radar.test/radar/latest/DS.p19r0/si.ktwx.shtml\",\"Topeka\",\"66614\"\r\n");
    }

    /// Stores a setting in the machine root, where the memory registry keeps them.
    void store(const QString& name, const QVariant& value) {
        storeRegistryValue(registry, HKEY_LOCAL_MACHINE, QLatin1String(RegistryValues::kProductKey),
                           name, value);
    }
    /// Expects each "name=value" setting to be stored with that value, and each bare name not
    /// to be stored.
    void expectStored(std::initializer_list<const char*> expected) {
        for (const QString item : expected) {
            const QString name = item.section(u'=', 0, 0);
            cRegistry reg = registryValue(registry, HKEY_LOCAL_MACHINE,
                                          QLatin1String(RegistryValues::kProductKey), name);
            EXPECT_EQ(reg.ValueExists() ? name + u'=' + reg.value().toString() : name, item);
        }
    }

    /// Loads the settings, then loads and first activates the dialog, as its caller would.
    FrmSetup& open() {
        settings.loadRegistryValues();
        dialog = std::make_unique<FrmSetup>(
            FrmSetupKit{settings, log, dialogs, locks, slot, [this] { ++validations; }});
        QObject::connect(dialog.get(), &QDialog::finished,
                         [this](int result) { closedWith = result; });
        dialog->Form_Activate();
        return *dialog;
    }

    /// Puts a scripted component in the slot, as the saver window holds one.
    FakeRetriever& withComponent() {
        auto made = std::make_unique<FakeRetriever>();
        FakeRetriever& retriever = *made;
        slot.reset(std::move(made));
        return retriever;
    }

    QString queryFor(const QString& zip) const {
        return QStringLiteral("http://") + QLatin1String(kValidationHost) +
               QStringLiteral("/zipcity.php?inputstring=") + zip;
    }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    Log log;
    MemoryRegistry registry;
    RegistryValues settings;
    FakeDialogs dialogs;
    FileInstanceLocks locks;
    ComponentFactory components;
    RetrieverSlot slot{components};
    int validations = 0;
    std::optional<int> closedWith;
    std::unique_ptr<FrmSetup> dialog;
};

class FrmSetupTest : public ::testing::Test {
protected:
    SetupRig rig;
};

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

TEST(SetupChoices, MemoryEstimateFollowsBothFormulasAndRoundsHalvesToEven) {
    const struct {
        qint32 minutes;
        qint32 ms;
        qint32 mb;
    } rows[] = {
        {60, 250, 6},   {360, 100, 62}, {60, 200, 16},
        {360, 1000, 7}, {60, 240, 6},   {60, 239, 16}, // the formula changes at 240 ms
        {125, 250, 6},                                 // 6.5 rounds down to the even 6
        {375, 250, 8},                                 // 7.5 rounds up to the even 8
        {0, 100, 7},    {90, 100, 21},                 // 13.824 + 7
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.minutes << " min at " << row.ms << " ms");
        EXPECT_EQ(estimateMemoryUsage(row.minutes, row.ms), row.mb);
    }
}

TEST(SetupChoices, FiveDigitZipCodesOnly) {
    const struct {
        const char* text;
        bool ok;
    } rows[] = {
        {"64106", true},  {"00501", true},  {"6410", false},  {"641066", false},
        {"6410a", false}, {"+6410", false}, {"-6410", false}, {"641.0", false},
        {"6 410", false}, {"", false},      {"1e410", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(isFiveDigitZip(QString::fromLatin1(row.text)), row.ok);
    }
    EXPECT_FALSE(isFiveDigitZip(QStringLiteral("\u0661\u0662\u0663\u0664\u0665"))); // other digits
}

TEST_F(FrmSetupTest, StoredValuesSelectTheirItemsAndTheEstimateUsesThem) {
    const struct {
        qint32 discard, rate, lastFrame;
        const char* shown; // the three items chosen and the estimate
    } rows[] = {
        {0, 0, 0, "    1  hour| 1/4  second|    1  second|16 MB"}, // the store's defaults
        {360, 100, 5000, "    6  hours|1/10 second|    5  seconds|62 MB"},
        {95, 750, 3000, "    1  hour| 3/4  second|    3  seconds|6 MB"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shown);
        SetupRig r;
        if (row.discard != 0) {
            r.store("discardAfter", row.discard);
            r.store("animationRateMS", row.rate);
            r.store("animationLastFrameMS", row.lastFrame);
        }
        FrmSetup& d = r.open();
        EXPECT_EQ(QStringList({d.DiscardAfter->currentText(), d.AnimationRate->currentText(),
                               d.AnimationLastFrame->currentText(), d.MemoryUsage->text()})
                      .join(u'|'),
                  QLatin1String(row.shown));
    }
    FrmSetup& d = rig.open(); // choosing an item recomputes the estimate
    d.AnimationRate->setCurrentIndex(1);
    d.AnimationRate_Click();
    EXPECT_EQ(d.MemoryUsage->text(), QStringLiteral("6 MB"));
}

TEST_F(FrmSetupTest, OkWithTheStoredZipCodeSavesEverythingAndCloses) {
    rig.store("zipcode", "64106");
    const FakeRetriever& net = rig.withComponent();
    FrmSetup& d = rig.open();
    d.DiscardAfter->setCurrentIndex(2);
    d.AnimationRate->setCurrentIndex(3);
    d.AnimationLastFrame->setCurrentIndex(4);
    d.CursorMovement->setChecked(true);
    d.CursorMovement_Click();
    d.CursorVisibility->setChecked(true);
    EXPECT_TRUE(d.ShowAlerts->isChecked()) << "weather alerts are on by default";
    d.ShowAlerts->setChecked(false);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier); // Enter acts as OK
    QApplication::sendEvent(d.zipcodeTextBox, &enter);

    EXPECT_EQ(rig.closedWith, QDialog::Accepted);
    EXPECT_TRUE(net.calls.isEmpty());
    rig.expectStored({"locationMode=1", "zipcode=64106", "channelIDs=18", "discardAfter=120",
                      "animationRateMS=750", "animationLastFrameMS=5000", "cursorMovement=1",
                      "cursorVisibility=1", "showAlerts=0"});
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());
}

TEST_F(FrmSetupTest, OkThatCannotSaveNamesTheHiveAndKeepsTheDialogOpen) {
    rig.store("zipcode", "64106");
    rig.registry.setReadOnly(HKEY_LOCAL_MACHINE, true);
    rig.registry.setReadOnly(HKEY_CURRENT_USER, true);
    FrmSetup& d = rig.open(); // storing the location mode at the opening fails unsaid
    d.Ok_Click();
    EXPECT_EQ(rig.closedWith, std::nullopt);
    EXPECT_EQ(rig.dialogs.messages,
              QStringList{"ERROR: Cannot save the settings in HKEY_CURRENT_USER"});
    rig.registry.setReadOnly(HKEY_CURRENT_USER, false);
    d.Ok_Click();
    EXPECT_EQ(rig.closedWith, QDialog::Accepted);
}

TEST_F(FrmSetupTest, CityModeFindsTheStoredCityAndSavesItsEntry) {
    rig.store("locationMode", 2);
    rig.store("zipcode", "66614");
    rig.store("cityState", "Topeka, KS");
    rig.store("currentConditionsURL", "http://w.test/MapClick.php?lat=39.05&lon=-95.7");
    FrmSetup& d = rig.open();
    EXPECT_TRUE(d.OptionCity->isChecked());
    EXPECT_EQ(d.RadarListCombo->currentText(), QStringLiteral("    Topeka"));
    d.Ok_Click(); // the zip code is the stored one: no check
    EXPECT_EQ(rig.closedWith, QDialog::Accepted);
    rig.expectStored({"locationMode=2",
                      "templateURL=http://radar.test/radar/images/@@@@@/SI.ktwx/#####.noaa",
                      "cityState=Topeka, KS",
                      "currentConditionsURL=http://w.test/MapClick.php?lat=39.05&lon=-95.7"});
}

// Without the weather page of Kansas City, whose page the next pass would otherwise read.
TEST_F(FrmSetupTest, ChoosingAStateHeaderChangesNothingAndOkSavesItsFirstCity) {
    rig.store("zipcode", "64106");
    rig.store("currentConditionsURL", "http://w.test/MapClick.php?lat=39.1&lon=-94.58");
    FrmSetup& d = rig.open();
    d.OptionCity_Click();
    d.RadarListCombo->setCurrentIndex(0); // "--- KS ---"
    d.RadarListCombo_Click();
    EXPECT_EQ(d.zipcodeTextBox->text(), QStringLiteral("64106"));
    d.Ok_Click();
    rig.expectStored({"zipcode=67801", "cityState=Dodge City, KS", "currentConditionsURL=",
                      "templateURL=http://radar.test/radar/images/@@@@@/SI.kddc/#####.noaa"});
}

TEST_F(FrmSetupTest, ASiteListThatIsAPipeIsNotWaitedForAndAMissingOneIsReported) {
    const QByteArray path = QFile::encodeName(rig.world.root() + "/share/RadarList.txt");
    QFile::remove(QString::fromLocal8Bit(path));
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    std::thread writer([&] { // lets a reader stuck waiting for a writer go after two seconds
        std::this_thread::sleep_for(std::chrono::seconds(2));
        ::close(::open(path.constData(), O_WRONLY | O_NONBLOCK));
    });
    QElapsedTimer opened;
    opened.start();
    EXPECT_EQ(rig.open().RadarListCombo->count(), 0);
    EXPECT_LT(opened.elapsed(), 1000);
    writer.join();
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());

    SetupRig missing;
    QFile::remove(missing.world.root() + QStringLiteral("/share/RadarList.txt"));
    missing.open().Form_Activate(); // later activations say nothing more
    EXPECT_EQ(missing.dialogs.messages, QStringList({"ERROR RadarList.dat not found"}));
}

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

// A zip code that is not five digits is refused before any request, a start the component
// refuses at once. A page trickling in for ever is given up after four network time-outs,
// counted in the dialog's own timer ticks.
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
        int ticks = -1; // the timer ticks the check takes, when known
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
        {"refused start", withLink, kCannotConnect, {1}, "busy", "66614", 0}, // said at once
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
        EXPECT_TRUE(row.ticks < 0 || ticks == row.ticks) << ticks;
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
