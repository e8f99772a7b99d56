#pragma once

#include "setup/RadarList.h"

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace nimbuscope {

class Dialogs;
class InstanceLock;
class InstanceLocks;
class Log;
class RetrieverSlot;
class PictureBox;
class RegistryValues;

/// What the setup dialog works with. Its caller owns all of it and outlives the dialog.
struct FrmSetupKit {
    RegistryValues& settings;
    Log& log;
    Dialogs& dialogs;
    /// The dialog holds the lock of its caption while it lives.
    InstanceLocks& locks;
    /// The page-retrieval component the zip code check uses, made at the first check: the
    /// saver window's own when the saver shows the dialog, the caller's when it runs alone.
    RetrieverSlot& myHTTPRetrieve;
    /// Called when a zip code check has found a location: the saver window sets its
    /// `zipcodeIsValid`. Empty when the dialog runs alone.
    std::function<void()> zipcodeValidated = {};
};

/// The setup dialog, captioned "Nimbuscope Setup": the location (a zip code checked against
/// the location search, or a city of the radar site list), the animation lists with their
/// memory estimate, and the cursor options. OK saves through the settings store and hides
/// the dialog; Cancel puts the location at load back, sets `Cancel` and hides it. Callers
/// show it modally through Dialogs::showModal and destroy it afterwards (the unload).
class FrmSetup final : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Nimbuscope Setup";
    static constexpr int kTimerZipcodeMs = 250;

    explicit FrmSetup(FrmSetupKit kit, QWidget* parent = nullptr);
    ~FrmSetup() override;

    /// True when the dialog was left with Cancel; `saveSettings` clears it.
    bool Cancel = false;

    /// Centres the dialog on its screen. (No display-settings window exists here to place
    /// it beside.)
    void PositionFrmSetup();

    // --- Events -------------------------------------------------------------------------
    void Form_Load();
    /// Fills the lists from the settings at the first activation; later ones do nothing.
    void Form_Activate();
    void Form_Unload();
    void OptionCity_Click();
    void OptionZipCode_Click();
    void RadarListCombo_Click();
    void DiscardAfter_Click();
    void AnimationRate_Click();
    void CursorMovement_Click();
    void AboutButton_Click();
    void AboutIcon_Click();
    /// Saves at once when the zip code is unchanged, else starts its check.
    void Ok_Click();
    /// One poll of the running zip code check.
    void TimerZipcode_Timer();
    /// Stops a running check; otherwise puts the location at load back and closes.
    void CancelButton_Click();
    /// The window's close button and Esc act as the Cancel button.
    void reject() override;

    // --- Operations ---------------------------------------------------------------------
    void saveSettings();
    void setControlsEnabled(bool flag);
    void loadRadarList(const QString& homeDirectory);
    /// The query address of the running check; empty when none runs.
    const QString& zipcityQuery() const { return zipcityQuery_; }
    const RadarList& radarList() const { return radarList_; }

    // --- Controls -----------------------------------------------------------------------
    QGroupBox* Frame2 = nullptr;
    QRadioButton* OptionZipCode = nullptr;
    QLineEdit* zipcodeTextBox = nullptr;
    QRadioButton* OptionCity = nullptr;
    QComboBox* RadarListCombo = nullptr;
    QLabel* prompt = nullptr;
    QLabel* ValidatingZipcode = nullptr;
    QTimer TimerZipcode;
    QGroupBox* AnimationSettings = nullptr;
    QLabel* DiscardAfterLabel = nullptr;
    QComboBox* DiscardAfter = nullptr;
    QLabel* AnimationRateLabel = nullptr;
    QComboBox* AnimationRate = nullptr;
    QLabel* AnimationLastFrameLabel = nullptr;
    QComboBox* AnimationLastFrame = nullptr;
    QLabel* MemoryUsageLabel = nullptr;
    QLabel* MemoryUsage = nullptr;
    QGroupBox* CursorSettings = nullptr;
    QCheckBox* CursorMovement = nullptr;
    QCheckBox* CursorVisibility = nullptr;
    /// "showAlerts": the place's active weather alerts in a banner on the saver's window.
    QCheckBox* ShowAlerts = nullptr;
    QPushButton* AboutButton = nullptr;
    PictureBox* AboutIcon = nullptr;
    QPushButton* Ok = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// The location as the settings store gave it when the dialog loaded.
    struct LocationAtLoad {
        QString zipcode;
        qint32 locationMode = 0;
        QString cityState;
        QString templateURL;
    };

    void buildControls();
    void buildLocationFrame();
    void buildAnimationFrame();
    void buildCursorFrame();
    void buildButtons();
    void connectHandlers();
    void watchKeysOf(QWidget* control);
    void placeAboutIcon();

    void selectStoredLocation();
    void selectStoredChoices();
    void showMemoryUsage(qint32 megabytes);
    bool saveCityChoice();
    void putBackLocationAtLoad();
    void startZipcodeCheck(const QString& zipcode);
    void finishZipcodeCheck();
    void zipcodeCheckFailed(const QString& debugLine, const QString& message);
    void hideDialog(int result);
    void forgetFailedSaves();

    FrmSetupKit kit_;
    std::unique_ptr<InstanceLock> captionLock_;
    LocationAtLoad atLoad_;
    RadarList radarList_;
    QString zipcityQuery_;
    /// Timer ticks the running zip code check has taken.
    qint32 zipcodeCheckTicks_ = 0;
    bool firstActivation_ = false;
};

} // namespace nimbuscope
