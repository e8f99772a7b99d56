#include "shell/SetupOpener.h"

#include "setup/FrmSetup.h"
#include "shell/MyMain.h"

#include "ShellRig.h"
#include "common/FakeRetriever.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScreen>

#include <cstdlib>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

class SetupOpenerTest : public ShellRig<> {
protected:
    SetupOpenerTest() { app.settings().loadRegistryValues(); }

    ComponentFactory countingComponents() {
        ComponentFactory components;
        components.registerCreator(QLatin1String(ComponentFactory::kRetrievePg), [this] {
            ++created;
            auto made = std::make_unique<FakeRetriever>();
            retriever = made.get();
            return made;
        });
        return components;
    }

    int created = 0;
    FakeRetriever* retriever = nullptr; // the last one made, alive while its dialog is
};

} // namespace

TEST_F(SetupOpenerTest, ShowsTheDialogCentredAndHoldingItsCaptionThenUnloadsIt) {
    bool heldWhileShown = false;
    bool centred = false;
    int cities = 0;
    dialogs.answers.push_back([&](QDialog& shown) {
        auto& setup = dynamic_cast<FrmSetup&>(shown);
        heldWhileShown = locks.isHeld(QString::fromLatin1(kSetupCaption));
        const QPoint off = setup.frameGeometry().center() - setup.screen()->geometry().center();
        centred = off.x() == 0 && std::abs(off.y()) <= 1; // an odd height rounds either way
        setup.Form_Activate(); // the list comes from the installed data folder
        cities = setup.RadarListCombo->count();
        setup.CancelButton_Click();
        return setup.result();
    });
    SetupOpener opener(countingComponents());
    opener.open(app);
    EXPECT_EQ(dialogs.modalTitles, QStringList({"Nimbuscope Setup"}));
    EXPECT_TRUE(heldWhileShown);
    EXPECT_TRUE(centred);
    EXPECT_EQ(cities, 202);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_FALSE(locks.isHeld(QString::fromLatin1(kSetupCaption)));
    EXPECT_EQ(created, 0); // nothing was checked
}

TEST_F(SetupOpenerTest, AZipCodeCheckCreatesTheDialogsOwnComponent) {
    QStringList requests;
    dialogs.answers.push_back([&](QDialog& shown) {
        auto& setup = dynamic_cast<FrmSetup&>(shown);
        setup.zipcodeTextBox->setText(QStringLiteral("66614"));
        setup.Ok_Click();
        requests = retriever != nullptr ? retriever->requested() : QStringList();
        setup.CancelButton_Click(); // stops the check
        setup.CancelButton_Click(); // leaves
        return setup.result();
    });
    SetupOpener opener(countingComponents());
    opener.open(app);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(requests, QStringList({"http://forecast.weather.gov/zipcity.php?inputstring=66614"}));
}
