#include "setup/FrmSetup.h"

#include "desktop/Dialogs.h"
#include "display/PictureBox.h"
#include "platform/InstanceLocks.h"
#include "settings/RegistryValues.h"
#include "setup/FrmAbout.h"
#include "setup/SetupChoices.h"
#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Log.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace nimbuscope {

namespace {

constexpr qint32 kZipCodeMode = 1;
constexpr qint32 kCityMode = 2;
constexpr qint32 kChannelIDs = 18;
// Far more than the list's 251 lines can need; a larger file is cut, not read whole.
constexpr qint64 kMaxRadarListBytes = qint64(4) << 20;

qint32 checkValue(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

} // namespace

FrmSetup::FrmSetup(FrmSetupKit kit, QWidget* parent) : QDialog(parent), kit_(std::move(kit)) {
    captionLock_ = kit_.locks.acquire(QLatin1String(kCaption));
    buildControls();
    connectHandlers();
    Form_Load();
}

FrmSetup::~FrmSetup() {
    Form_Unload();
}

void FrmSetup::connectHandlers() {
    connect(OptionZipCode, &QRadioButton::clicked, this, &FrmSetup::OptionZipCode_Click);
    connect(OptionCity, &QRadioButton::clicked, this, &FrmSetup::OptionCity_Click);
    connect(RadarListCombo, &QComboBox::activated, this, &FrmSetup::RadarListCombo_Click);
    connect(zipcodeTextBox, &QLineEdit::returnPressed, this, &FrmSetup::Ok_Click);
    connect(DiscardAfter, &QComboBox::activated, this, &FrmSetup::DiscardAfter_Click);
    connect(AnimationRate, &QComboBox::activated, this, &FrmSetup::AnimationRate_Click);
    connect(CursorMovement, &QCheckBox::clicked, this, &FrmSetup::CursorMovement_Click);
    connect(AboutButton, &QPushButton::clicked, this, &FrmSetup::AboutButton_Click);
    connect(AboutIcon, &PictureBox::clicked, this, &FrmSetup::AboutIcon_Click);
    connect(Ok, &QPushButton::clicked, this, &FrmSetup::Ok_Click);
    connect(CancelButton, &QPushButton::clicked, this, &FrmSetup::CancelButton_Click);
    connect(&TimerZipcode, &QTimer::timeout, this, &FrmSetup::TimerZipcode_Timer);
    for (QWidget* control :
         std::initializer_list<QWidget*>{Ok, CancelButton, AboutButton, AboutIcon, OptionCity,
                                         OptionZipCode, RadarListCombo, zipcodeTextBox}) {
        watchKeysOf(control);
    }
}

void FrmSetup::watchKeysOf(QWidget* control) {
    control->installEventFilter(this);
}

void FrmSetup::Form_Load() {
    RegistryValues& s = kit_.settings;
    zipcodeTextBox->setText(s.getZipCode());
    atLoad_ = {s.getZipCode(), s.getLocationMode(true), s.getCityState(), s.getTemplateURL()};
    setControlsEnabled(true);
    ValidatingZipcode->hide();
    prompt->show();
    // The first focus goes to OK: focus in the zip code box or the city list picks a mode.
    Ok->setFocus();
    raise();
    firstActivation_ = true;
    forgetFailedSaves();
}

// Storing the location mode while the dialog opens may fail; OK tells of its own saves only.
void FrmSetup::forgetFailedSaves() {
    kit_.settings.takeFailedSave();
}

void FrmSetup::Form_Activate() {
    if (!firstActivation_) {
        return;
    }
    firstActivation_ = false;
    trappedVoid(kit_.log, QStringLiteral("Form_Activate"), [&] {
        loadRadarList(kit_.settings.getHomeDir());
        selectStoredLocation();
        selectStoredChoices();
        setControlsEnabled(true);
        ValidatingZipcode->hide();
        prompt->show();
        // Typing goes to the location control of the stored mode (focus there keeps the mode).
        (OptionCity->isChecked() ? static_cast<QWidget*>(RadarListCombo) : zipcodeTextBox)
            ->setFocus(Qt::OtherFocusReason);
        raise();
        activateWindow();
        forgetFailedSaves();
    });
}

void FrmSetup::selectStoredLocation() {
    RegistryValues& s = kit_.settings;
    if (s.getLocationMode(true) != kCityMode) {
        zipcodeTextBox->setText(s.getZipCode());
        OptionZipCode->setChecked(true);
        OptionCity->setChecked(false);
        return;
    }
    OptionCity->setChecked(true);
    OptionZipCode->setChecked(false);
    const QString city = s.getCityState().section(QLatin1Char(','), 0, 0);
    zipcodeTextBox->clear();
    if (city.isEmpty()) {
        return;
    }
    for (int i = 0; i < RadarListCombo->count(); ++i) {
        const QString item = RadarListCombo->itemText(i);
        if (!item.startsWith(QLatin1Char('-')) && item.trimmed() == city) {
            RadarListCombo->setCurrentIndex(i);
            zipcodeTextBox->setText(radarList_.entries[std::size_t(i)].zipcode);
            return;
        }
    }
}

void FrmSetup::selectStoredChoices() {
    RegistryValues& s = kit_.settings;
    DiscardAfter->setCurrentIndex(
        choiceIndex(kDiscardAfterChoices, s.getDiscardAfter(), kDiscardAfterUnlisted));
    AnimationRate->setCurrentIndex(
        choiceIndex(kAnimationRateChoices, s.getAnimationRateMS(), kAnimationRateUnlisted));
    // The stored values, not the list positions: an unlisted rate keeps its own estimate.
    showMemoryUsage(estimateMemoryUsage(s.getDiscardAfter(), s.getAnimationRateMS()));
    AnimationLastFrame->setCurrentIndex(choiceIndex(
        kAnimationLastFrameChoices, s.getAnimationLastFrameMS(), kAnimationLastFrameUnlisted));
    const bool ignoreMovement = s.getCursorMovementSetting() == 1;
    CursorMovement->setChecked(ignoreMovement);
    CursorVisibility->setEnabled(ignoreMovement);
    CursorVisibility->setChecked(ignoreMovement && s.getCursorVisibilitySetting() == 1);
    ShowAlerts->setChecked(s.getShowAlerts() != 0);
}

void FrmSetup::Form_Unload() {
    TimerZipcode.stop();
    ValidatingZipcode->hide();
}

void FrmSetup::showMemoryUsage(qint32 megabytes) {
    MemoryUsage->setText(QString::number(megabytes) + QStringLiteral(" MB"));
}

void FrmSetup::DiscardAfter_Click() {
    showMemoryUsage(estimateMemoryUsage(
        choiceValue(kDiscardAfterChoices, DiscardAfter->currentIndex(), kDiscardAfterFallback),
        choiceValue(kAnimationRateChoices, AnimationRate->currentIndex(), kAnimationRateFallback)));
    MemoryUsage->repaint();
}

void FrmSetup::AnimationRate_Click() {
    DiscardAfter_Click();
}

void FrmSetup::OptionCity_Click() {
    OptionCity->setChecked(true);
    OptionZipCode->setChecked(false);
}

void FrmSetup::OptionZipCode_Click() {
    OptionCity->setChecked(false);
    OptionZipCode->setChecked(true);
    zipcodeTextBox->setFocus(Qt::OtherFocusReason);
    zipcodeTextBox->setCursorPosition(int(zipcodeTextBox->text().size()));
}

void FrmSetup::RadarListCombo_Click() {
    const int index = RadarListCombo->currentIndex();
    if (index < 0 || std::size_t(index) >= radarList_.entries.size() ||
        isStateHeader(RadarListCombo->itemText(index))) {
        return;
    }
    zipcodeTextBox->setText(radarList_.entries[std::size_t(index)].zipcode);
}

void FrmSetup::CursorMovement_Click() {
    CursorVisibility->setEnabled(CursorMovement->isChecked());
    CursorVisibility->setChecked(false);
}

void FrmSetup::AboutButton_Click() {
    FrmAbout about(this);
    about.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    about.move(frameGeometry().topLeft());
    kit_.dialogs.showModal(about);
    raise();
    activateWindow();
}

void FrmSetup::AboutIcon_Click() {
    AboutButton_Click();
}

void FrmSetup::saveSettings() {
    trappedVoid(kit_.log, QStringLiteral("saveSettings"), [&] {
        RegistryValues& s = kit_.settings;
        Cancel = false;
        s.saveCursorMovementSetting(checkValue(CursorMovement));
        s.saveCursorVisibilitySetting(checkValue(CursorVisibility));
        if (OptionZipCode->isChecked()) {
            s.saveLocationMode(kZipCodeMode);
            const QString zipcode = zipcodeTextBox->text();
            if (zipcode != s.getZipCode()) {
                if (!isFiveDigitZip(zipcode)) {
                    kit_.dialogs.messageBox(QStringLiteral("Invalid zipcode - must be five digits"),
                                            this);
                    return;
                }
                s.saveZipCode(zipcode);
            }
        } else if (OptionCity->isChecked()) {
            saveCityChoice();
        } else {
            kit_.dialogs.messageBox(QStringLiteral("ERROR: No option set"), this);
        }
        s.saveChannelIDs(kChannelIDs);
        s.saveDiscardAfter(
            choiceValue(kDiscardAfterChoices, DiscardAfter->currentIndex(), kDiscardAfterFallback));
        s.saveAnimationRateMS(choiceValue(kAnimationRateChoices, AnimationRate->currentIndex(),
                                          kAnimationRateFallback));
        s.saveAnimationLastFrameMS(choiceValue(kAnimationLastFrameChoices,
                                               AnimationLastFrame->currentIndex(),
                                               kAnimationLastFrameFallback));
        s.saveShowAlerts(checkValue(ShowAlerts));
        s.saveCursorMovementSetting(checkValue(CursorMovement));
        s.saveCursorVisibilitySetting(checkValue(CursorVisibility));
        // The zip code check's saves count too. Closing now would tell the user all is well
        // and ask for the location again at the next start.
        if (const QString failed = s.takeFailedSave(); !failed.isEmpty()) {
            kit_.dialogs.messageBox(QStringLiteral("ERROR: Cannot save the settings in ") + failed,
                                    this);
            return;
        }
        hideDialog(QDialog::Accepted);
    });
}

bool FrmSetup::saveCityChoice() {
    int index = RadarListCombo->currentIndex();
    // A state header stands for the first city under it.
    if (index >= 0 && isStateHeader(RadarListCombo->itemText(index))) {
        ++index;
        if (index < RadarListCombo->count()) {
            RadarListCombo->setCurrentIndex(index);
        }
    }
    // Without a city and its template the stored location stays as it is: a city mode
    // with an empty template could never download anything.
    if (index < 0 || std::size_t(index) >= radarList_.entries.size() ||
        radarList_.entries[std::size_t(index)].city.isEmpty() ||
        radarList_.entries[std::size_t(index)].templateURL.isEmpty()) {
        kit_.log.logDebug(QStringLiteral("FrmSetup: no city chosen, location kept"));
        return false;
    }
    const RadarSiteEntry& entry = radarList_.entries[std::size_t(index)];
    RegistryValues& s = kit_.settings;
    // The stored weather page belongs to the zip code in the box: the stored one, or the one
    // the check just found. A city of another zip code (a state header's first city) stores
    // none, so the next pass reads the city's location page afresh instead of showing the
    // old place's weather under the new name.
    if (entry.zipcode != zipcodeTextBox->text()) {
        s.saveCurrentConditionsURL(QString());
    }
    s.saveLocationMode(kCityMode);
    s.saveTemplateURL(entry.templateURL);
    s.saveZipCode(entry.zipcode);
    s.saveCityState(entry.city + QStringLiteral(", ") + entry.state);
    return true;
}

void FrmSetup::setControlsEnabled(bool flag) {
    for (QWidget* control : std::initializer_list<QWidget*>{OptionCity,
                                                            OptionZipCode,
                                                            RadarListCombo,
                                                            zipcodeTextBox,
                                                            AnimationSettings,
                                                            DiscardAfter,
                                                            DiscardAfterLabel,
                                                            AnimationRateLabel,
                                                            AnimationRate,
                                                            AnimationLastFrameLabel,
                                                            AnimationLastFrame,
                                                            CursorSettings,
                                                            CursorMovement,
                                                            ShowAlerts,
                                                            MemoryUsageLabel,
                                                            MemoryUsage,
                                                            AboutButton,
                                                            AboutIcon,
                                                            prompt,
                                                            Ok,
                                                            Frame2}) {
        control->setEnabled(flag);
    }
    CursorVisibility->setEnabled(CursorMovement->isChecked() && flag);
}

void FrmSetup::loadRadarList(const QString& homeDirectory) {
    const QString path = joinPath(homeDirectory, QLatin1String(RadarList::kFileName));
    if (!FileExists(kit_.log, path)) {
        kit_.dialogs.messageBox(QStringLiteral("ERROR RadarList.dat not found"), this);
        return;
    }
    const std::optional<QByteArray> bytes = readRegularFile(path, kMaxRadarListBytes);
    if (!bytes) {
        logTrappedError(kit_.log, QStringLiteral("loadRadarList"),
                        Error::of(err::PathFileAccessError));
        return;
    }
    const RadarListRead read = parseRadarList(*bytes);
    if (read.stoppedByError) {
        // The reading ends without a word to the user; the cities read so far stay.
        logTrappedError(kit_.log, QStringLiteral("loadRadarList"), Error::of(*read.stoppedByError));
    }
    radarList_ = read.list;
    RadarListCombo->clear();
    RadarListCombo->addItems(radarList_.items);
    if (RadarListCombo->count() > 0) {
        RadarListCombo->setCurrentIndex(0);
    }
}

void FrmSetup::hideDialog(int result) {
    done(result);
}

void FrmSetup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Activation follows the show, once the window is on screen: its messages (a missing
    // site list) then appear over the dialog, not before it.
    QMetaObject::invokeMethod(this, &FrmSetup::Form_Activate, Qt::QueuedConnection);
}

bool FrmSetup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == AboutButton && event->type() == QEvent::Resize) {
        placeAboutIcon();
    }
    if (event->type() == QEvent::KeyPress && watched != this &&
        isCancelChord(static_cast<QKeyEvent*>(event)->modifiers())) {
        CancelButton_Click();
        return true;
    }
    if (event->type() == QEvent::FocusIn) {
        // Focus that comes back with the window or from the list's own popup picks nothing.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == RadarListCombo) {
                OptionCity_Click();
            } else if (watched == zipcodeTextBox) {
                OptionZipCode_Click();
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void FrmSetup::keyPressEvent(QKeyEvent* event) {
    // Keys that the other controls leave unused arrive here too; only the dialog's own count.
    const QWidget* focus = focusWidget();
    if (isCancelChord(event->modifiers()) && (focus == nullptr || focus == this)) {
        CancelButton_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmSetup::reject() {
    CancelButton_Click();
}

} // namespace nimbuscope
