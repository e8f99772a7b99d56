#include "setup/FrmSetup.h"

#include "SetupRig.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

class FrmSetupTest : public ::testing::Test {
protected:
    SetupRig rig;
};

} // namespace

TEST_F(FrmSetupTest, StoredValuesSelectTheirItemsAndTheEstimateUsesThem) {
    const struct {
        qint32 discard, rate, lastFrame;
        const char *discardItem, *rateItem, *lastFrameItem, *memory;
    } rows[] = {
        {0, 0, 0, "    1  hour", " 1/4  second", "    1  second", "16 MB"}, // the store's defaults
        {360, 100, 5000, "    6  hours", "1/10 second", "    5  seconds", "62 MB"},
        {95, 750, 3000, "    1  hour", " 3/4  second", "    3  seconds", "6 MB"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rateItem);
        SetupRig r;
        if (row.discard != 0) {
            r.store("discardAfter", row.discard);
            r.store("animationRateMS", row.rate);
            r.store("animationLastFrameMS", row.lastFrame);
        }
        FrmSetup& d = r.open();
        EXPECT_EQ(d.DiscardAfter->currentText(), QLatin1String(row.discardItem));
        EXPECT_EQ(d.AnimationRate->currentText(), QLatin1String(row.rateItem));
        EXPECT_EQ(d.AnimationLastFrame->currentText(), QLatin1String(row.lastFrameItem));
        EXPECT_EQ(d.MemoryUsage->text(), QLatin1String(row.memory));
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
