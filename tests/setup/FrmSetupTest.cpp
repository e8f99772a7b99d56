#include "setup/FrmSetup.h"

#include "display/PictureBox.h"
#include "setup/FrmAbout.h"

#include "SetupRig.h"

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
#include <thread>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

QStringList itemsOf(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) {
        items << list->itemText(i);
    }
    return items;
}

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &event);
}

class FrmSetupTest : public ::testing::Test {
protected:
    SetupRig rig;
};

} // namespace

TEST_F(FrmSetupTest, ListsOfferTheirChoicesAndTheCheckStartsIdle) {
    FrmSetup& d = rig.open();
    EXPECT_FALSE(d.TimerZipcode.isActive());
    EXPECT_TRUE(d.ValidatingZipcode->isHidden());
    EXPECT_FALSE(d.prompt->isHidden());

    EXPECT_EQ(itemsOf(d.DiscardAfter),
              QStringList({"    1  hour", " 1.5  hours", "    2  hours", " 2.5  hours",
                           "    3  hours", " 3.5  hours", "    4  hours", " 4.5  hours",
                           "    5  hours", " 5.5  hours", "    6  hours"}));
    EXPECT_EQ(itemsOf(d.AnimationRate), QStringList({"1/10 second", " 1/4  second", " 1/2  second",
                                                     " 3/4  second", "     1  second"}));
    EXPECT_EQ(itemsOf(d.AnimationLastFrame),
              QStringList({"    1  second", "    2  seconds", "    3  seconds", "    4  seconds",
                           "    5  seconds"}));
    EXPECT_EQ(itemsOf(d.RadarListCombo), QStringList({"--- KS ---", "    Dodge City", "    Topeka",
                                                      "--- MO ---", "    Kansas City"}));
}

TEST_F(FrmSetupTest, StoredValuesSelectTheirItemsAndTheEstimateUsesThem) {
    const struct {
        qint32 discard, rate, lastFrame;
        const char *discardItem, *rateItem, *lastFrameItem, *memory;
    } rows[] = {
        {0, 0, 0, "    1  hour", " 1/4  second", "    1  second", "16 MB"}, // the store's defaults
        {60, 200, 1500, "    1  hour", " 1/4  second", "    2  seconds", "16 MB"},
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
}

TEST_F(FrmSetupTest, ChoosingAnItemRecomputesTheEstimateFromTheLists) {
    FrmSetup& d = rig.open(); // 60 minutes at the stored 200 ms: 16 MB
    d.AnimationRate->setCurrentIndex(1);
    d.AnimationRate_Click();
    EXPECT_EQ(d.MemoryUsage->text(), QStringLiteral("6 MB"));
    d.DiscardAfter->setCurrentIndex(10);
    d.AnimationRate->setCurrentIndex(0);
    d.DiscardAfter_Click();
    EXPECT_EQ(d.MemoryUsage->text(), QStringLiteral("62 MB"));
}

TEST_F(FrmSetupTest, CursorVisibilityFollowsIgnoreMovement) {
    const struct {
        qint32 movement, visibility;
        bool movementChecked, visibilityChecked, visibilityEnabled;
    } rows[] = {
        {1, 1, true, true, true},
        {1, 0, true, false, true},
        {0, 1, false, false, false},
        {2, 1, false, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.movement << "," << row.visibility);
        SetupRig r;
        r.store("cursorMovement", row.movement);
        r.store("cursorVisibility", row.visibility);
        FrmSetup& d = r.open();
        EXPECT_EQ(d.CursorMovement->isChecked(), row.movementChecked);
        EXPECT_EQ(d.CursorVisibility->isChecked(), row.visibilityChecked);
        EXPECT_EQ(d.CursorVisibility->isEnabled(), row.visibilityEnabled);
    }

    FrmSetup& d = rig.open();
    d.CursorMovement->setChecked(true);
    d.CursorMovement_Click();
    EXPECT_TRUE(d.CursorVisibility->isEnabled());
    EXPECT_FALSE(d.CursorVisibility->isChecked());
    d.CursorVisibility->setChecked(true);
    d.CursorMovement->setChecked(false);
    d.CursorMovement_Click();
    EXPECT_FALSE(d.CursorVisibility->isEnabled());
    EXPECT_FALSE(d.CursorVisibility->isChecked());
    d.setControlsEnabled(true); // enabling the controls does not free it either
    EXPECT_FALSE(d.CursorVisibility->isEnabled());
}

TEST_F(FrmSetupTest, OkWithTheStoredZipCodeSavesEverythingAndCloses) {
    rig.store("zipcode", "64106");
    rig.withComponent();
    FrmSetup& d = rig.open();
    EXPECT_EQ(d.focusWidget(), d.zipcodeTextBox);
    EXPECT_TRUE(d.OptionZipCode->isChecked());
    d.DiscardAfter->setCurrentIndex(2);
    d.AnimationRate->setCurrentIndex(3);
    d.AnimationLastFrame->setCurrentIndex(4);
    d.CursorMovement->setChecked(true);
    d.CursorMovement_Click();
    d.CursorVisibility->setChecked(true);
    EXPECT_TRUE(d.ShowAlerts->isChecked()) << "weather alerts are on by default";
    d.ShowAlerts->setChecked(false);
    d.Ok_Click();

    EXPECT_EQ(rig.closedWith, QDialog::Accepted);
    EXPECT_FALSE(d.Cancel);
    EXPECT_TRUE(rig.retriever->calls.isEmpty());
    rig.expectStored({{"locationMode", 1},
                      {"zipcode", "64106"},
                      {"channelIDs", 18},
                      {"discardAfter", 120},
                      {"animationRateMS", 750},
                      {"animationLastFrameMS", 5000},
                      {"cursorMovement", 1},
                      {"cursorVisibility", 1},
                      {"showAlerts", 0}});
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
    EXPECT_EQ(rig.dialogs.messages.size(), 1);
}

TEST_F(FrmSetupTest, ListPositionsOutsideTheTablesStoreTheirFallbacks) {
    FrmSetup& d = rig.open();
    d.DiscardAfter->setCurrentIndex(-1);
    d.AnimationRate->setCurrentIndex(-1);
    d.AnimationLastFrame->setCurrentIndex(-1);
    d.saveSettings();
    rig.expectStored(
        {{"discardAfter", 60}, {"animationRateMS", 250}, {"animationLastFrameMS", 3000}});
}

TEST_F(FrmSetupTest, NeitherOptionOnSaysSoAndSavesTheRest) {
    FrmSetup& d = rig.open();
    d.OptionZipCode->setChecked(false);
    d.OptionCity->setChecked(false);
    d.saveSettings();
    EXPECT_EQ(rig.dialogs.messages, QStringList({"ERROR: No option set"}));
    EXPECT_EQ(rig.stored("channelIDs"), 18);
    EXPECT_EQ(rig.closedWith, QDialog::Accepted);
}

TEST_F(FrmSetupTest, CityModeFindsTheStoredCityAndSavesItsEntry) {
    rig.store("locationMode", 2);
    rig.store("zipcode", "66614");
    rig.store("cityState", "Topeka, KS");
    rig.store("currentConditionsURL", "http://w.test/MapClick.php?lat=39.05&lon=-95.7");
    FrmSetup& d = rig.open();
    EXPECT_TRUE(d.OptionCity->isChecked());
    EXPECT_FALSE(d.OptionZipCode->isChecked());
    EXPECT_EQ(d.RadarListCombo->currentText(), QStringLiteral("    Topeka"));
    EXPECT_EQ(d.zipcodeTextBox->text(), QStringLiteral("66614"));
    EXPECT_EQ(d.focusWidget(), d.RadarListCombo);

    d.Ok_Click(); // the zip code is the stored one: no check
    EXPECT_EQ(rig.closedWith, QDialog::Accepted);
    rig.expectStored({{"locationMode", 2},
                      {"templateURL", "http://radar.test/radar/images/@@@@@/SI.ktwx/#####.noaa"},
                      {"cityState", "Topeka, KS"},
                      {"currentConditionsURL", "http://w.test/MapClick.php?lat=39.05&lon=-95.7"}});
}

TEST_F(FrmSetupTest, CityModeWithACityNotInTheListLeavesTheZipBoxEmpty) {
    rig.store("locationMode", 2);
    rig.store("zipcode", "80301");
    rig.store("cityState", "Boulder, CO");
    FrmSetup& d = rig.open();
    EXPECT_TRUE(d.OptionCity->isChecked());
    EXPECT_TRUE(d.zipcodeTextBox->text().isEmpty());
    EXPECT_EQ(d.RadarListCombo->currentIndex(), 0);
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
    EXPECT_EQ(d.RadarListCombo->currentText(), QStringLiteral("    Dodge City"));
    rig.expectStored({{"zipcode", "67801"},
                      {"cityState", "Dodge City, KS"},
                      {"templateURL", "http://radar.test/radar/images/@@@@@/SI.kddc/#####.noaa"},
                      {"locationMode", 2},
                      {"currentConditionsURL", ""}});
    EXPECT_TRUE(rig.settings.getCurrentConditionsURL().isEmpty());
}

TEST_F(FrmSetupTest, ACityChoiceThatNamesNoCityKeepsTheStoredLocation) {
    // A header with no city under it.
    rig.writeRadarList("STATE: KS\r\nSTATE: MO\r\n");
    rig.store("zipcode", "64106");
    rig.store("templateURL", "http://h/radar/images/@@@@@/SI.keax/#####.noaa");
    FrmSetup& d = rig.open();
    d.OptionCity_Click();
    d.RadarListCombo->setCurrentIndex(0);
    d.saveSettings();
    rig.expectStored({{"locationMode", 1},
                      {"zipcode", "64106"},
                      {"templateURL", "http://h/radar/images/@@@@@/SI.keax/#####.noaa"},
                      {"cityState", QVariant()}});
}

TEST_F(FrmSetupTest, ASiteListThatIsAPipeIsNotWaitedFor) {
    const QByteArray path = QFile::encodeName(rig.world.root() + "/share/RadarList.txt");
    QFile::remove(QString::fromLocal8Bit(path));
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    // Lets a reader stuck waiting for a writer go after two seconds (a non-blocking open
    // finds no reader and does nothing once the reader no longer waits).
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            ::close(fd);
        }
    });
    QElapsedTimer opened;
    opened.start();
    FrmSetup& d = rig.open();
    EXPECT_LT(opened.elapsed(), 1000);
    writer.join();
    EXPECT_EQ(d.RadarListCombo->count(), 0);
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());
}

TEST_F(FrmSetupTest, AMissingSiteListIsReportedAndLeavesTheListEmpty) {
    QFile::remove(rig.world.root() + QStringLiteral("/share/RadarList.txt"));
    FrmSetup& d = rig.open();
    EXPECT_EQ(rig.dialogs.messages, QStringList({"ERROR RadarList.dat not found"}));
    EXPECT_EQ(d.RadarListCombo->count(), 0);
    d.Form_Activate(); // later activations do nothing
    EXPECT_EQ(rig.dialogs.messages.size(), 1);
}

TEST_F(FrmSetupTest, OptionClicksSetBothOptions) {
    FrmSetup& d = rig.open();
    d.OptionCity_Click();
    EXPECT_TRUE(d.OptionCity->isChecked());
    EXPECT_FALSE(d.OptionZipCode->isChecked());
    d.zipcodeTextBox->setText(QStringLiteral("641"));
    d.OptionZipCode_Click();
    EXPECT_TRUE(d.OptionZipCode->isChecked());
    EXPECT_FALSE(d.OptionCity->isChecked());
    EXPECT_EQ(d.zipcodeTextBox->cursorPosition(), 3);
}

TEST_F(FrmSetupTest, AltOrCtrlAltInTheListedControlsActsAsCancel) {
    const struct {
        const char* control;
        Qt::KeyboardModifiers modifiers;
        bool cancels;
    } rows[] = {
        {"OptionZipCode", Qt::AltModifier, true},
        {"zipcodeTextBox", Qt::ControlModifier | Qt::AltModifier, true},
        {"Ok", Qt::AltModifier, true},
        {"AboutIcon", Qt::AltModifier, true},
        {"RadarListCombo", Qt::AltModifier, true},
        {"DiscardAfter", Qt::AltModifier, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.control);
        SetupRig r;
        FrmSetup& d = r.open();
        auto* control = d.findChild<QWidget*>(QLatin1String(row.control));
        ASSERT_NE(control, nullptr);
        press(control, Qt::Key_X, row.modifiers);
        EXPECT_EQ(r.closedWith.has_value(), row.cancels);
        EXPECT_EQ(d.Cancel, row.cancels);
    }
}

TEST_F(FrmSetupTest, EnterInTheZipCodeBoxActsAsOk) {
    rig.store("zipcode", "64106");
    FrmSetup& d = rig.open();
    press(d.zipcodeTextBox, Qt::Key_Return, Qt::NoModifier);
    EXPECT_EQ(rig.closedWith, QDialog::Accepted);
}

TEST_F(FrmSetupTest, AboutOpensTheAboutBoxModallyAtTheDialogsCorner) {
    FrmSetup& d = rig.open();
    d.move(40, 30);
    QPoint placed;
    bool topmost = false;
    rig.dialogs.answers.push_back([&](QDialog& about) {
        placed = about.pos();
        topmost = about.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        return int(QDialog::Accepted);
    });
    d.AboutIcon_Click();
    EXPECT_EQ(rig.dialogs.modalTitles, QStringList({"About Nimbuscope"}));
    EXPECT_EQ(placed, d.frameGeometry().topLeft());
    EXPECT_TRUE(topmost);
}

TEST(FrmAbout, ShowsTheLogoAndClosesOnOkOrAlt) {
    const struct {
        const char* how;
        Qt::KeyboardModifiers modifiers;
        bool onOk;
        bool closes;
    } rows[] = {
        {"Alt on the box", Qt::AltModifier, false, true},
        {"Ctrl+Alt on OK", Qt::ControlModifier | Qt::AltModifier, true, true},
        {"Shift+Alt", Qt::ShiftModifier | Qt::AltModifier, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        FrmAbout about;
        EXPECT_FALSE(about.Image1->picture().isNull());
        std::optional<int> result;
        QObject::connect(&about, &QDialog::finished, [&](int r) { result = r; });
        press(row.onOk ? static_cast<QWidget*>(about.Ok) : &about, Qt::Key_A, row.modifiers);
        EXPECT_EQ(result.has_value(), row.closes);
    }
    FrmAbout about;
    std::optional<int> result;
    QObject::connect(&about, &QDialog::finished, [&](int r) { result = r; });
    about.Ok->click();
    EXPECT_EQ(result, QDialog::Accepted);
}
