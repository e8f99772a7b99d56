// The controls of the setup dialog, their captions and list items, and where they sit.

#include "display/PictureBox.h"
#include "setup/FrmAbout.h"
#include "setup/FrmSetup.h"
#include "setup/SetupChoices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace nimbuscope {

namespace {

constexpr int kZipcodeBoxWidth = 70;
constexpr int kComboMinWidth = 150;
constexpr int kCityComboMinWidth = 220;
constexpr int kAboutIconSize = 24;
// The blanks of the About caption leave room for the icon drawn over the button's left end.
constexpr int kAboutIconInset = 6;
// The scope in the logo, cut out for the small icon.
constexpr QRect kLogoScope(10, 10, 140, 140);

template <typename Widget, typename... Args> Widget* named(const char* name, Args&&... args) {
    auto* w = new Widget(std::forward<Args>(args)...);
    w->setObjectName(QLatin1String(name));
    return w;
}

QComboBox* choiceList(const char* name, std::span<const SetupChoice> choices, QWidget* parent) {
    auto* list = named<QComboBox>(name, parent);
    list->setMinimumWidth(kComboMinWidth);
    for (const SetupChoice& choice : choices) {
        list->addItem(QLatin1String(choice.text));
    }
    return list;
}

} // namespace

void FrmSetup::buildControls() {
    setWindowTitle(QLatin1String(kCaption));
    setObjectName(QStringLiteral("FrmSetup"));
    buildLocationFrame();
    buildAnimationFrame();
    buildCursorFrame();
    buildButtons();

    auto* column = new QVBoxLayout(this);
    column->addWidget(Frame2);
    auto* status = new QGridLayout;
    status->addWidget(prompt, 0, 0, Qt::AlignHCenter);
    status->addWidget(ValidatingZipcode, 0, 0, Qt::AlignHCenter);
    column->addLayout(status);
    column->addWidget(AnimationSettings);
    column->addWidget(CursorSettings);
    ShowAlerts = named<QCheckBox>("ShowAlerts", QStringLiteral("Show weather alerts"), this);
    column->addWidget(ShowAlerts);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(AboutButton);
    buttons->addStretch();
    buttons->addWidget(Ok);
    buttons->addWidget(CancelButton);
    column->addLayout(buttons);

    TimerZipcode.setObjectName(QStringLiteral("TimerZipcode"));
    TimerZipcode.setInterval(kTimerZipcodeMs);
    setFixedSize(sizeHint());
}

void FrmSetup::buildLocationFrame() {
    Frame2 = named<QGroupBox>("Frame2", QStringLiteral(" Weather Radar Location "), this);
    OptionZipCode = named<QRadioButton>("OptionZipCode", QStringLiteral("Zip Code:"), Frame2);
    zipcodeTextBox = named<QLineEdit>("zipcodeTextBox", Frame2);
    zipcodeTextBox->setFixedWidth(kZipcodeBoxWidth);
    OptionCity = named<QRadioButton>("OptionCity", QStringLiteral("City:"), Frame2);
    RadarListCombo = named<QComboBox>("RadarListCombo", Frame2);
    RadarListCombo->setMinimumWidth(kCityComboMinWidth);
    RadarListCombo->setMaxVisibleItems(20);
    // The two lines below the frame stay readable while the frame is disabled for a check.
    prompt = named<QLabel>("prompt", QStringLiteral("Select a city or enter zipcode"), this);
    ValidatingZipcode =
        named<QLabel>("ValidatingZipcode", QStringLiteral("Validating zipcode..."), this);
    // The dialog decides which option is on; a click never turns one off by itself.
    for (QRadioButton* option : {OptionZipCode, OptionCity}) {
        option->setAutoExclusive(false);
    }

    auto* grid = new QGridLayout(Frame2);
    grid->addWidget(OptionZipCode, 0, 0);
    grid->addWidget(zipcodeTextBox, 0, 1, Qt::AlignLeft);
    grid->addWidget(OptionCity, 1, 0);
    grid->addWidget(RadarListCombo, 1, 1);
    grid->setColumnStretch(1, 1);
}

void FrmSetup::buildAnimationFrame() {
    AnimationSettings =
        named<QGroupBox>("AnimationSettings", QStringLiteral("Animation Settings "), this);
    DiscardAfterLabel = named<QLabel>(
        "DiscardAfterLabel", QStringLiteral("Discard radar frames after:"), AnimationSettings);
    DiscardAfter = choiceList("DiscardAfter", kDiscardAfterChoices, AnimationSettings);
    AnimationRateLabel =
        named<QLabel>("AnimationRateLabel", QStringLiteral("Animation rate:"), AnimationSettings);
    AnimationRate = choiceList("AnimationRate", kAnimationRateChoices, AnimationSettings);
    AnimationLastFrameLabel =
        named<QLabel>("AnimationLastFrameLabel", QStringLiteral("Show latest radar frame for:"),
                      AnimationSettings);
    AnimationLastFrame =
        choiceList("AnimationLastFrame", kAnimationLastFrameChoices, AnimationSettings);
    MemoryUsageLabel = named<QLabel>("MemoryUsageLabel", QStringLiteral("Estimated memory usage:"),
                                     AnimationSettings);
    MemoryUsage = named<QLabel>("MemoryUsage", QStringLiteral("0 MB"), AnimationSettings);

    auto* grid = new QGridLayout(AnimationSettings);
    grid->addWidget(DiscardAfterLabel, 0, 0);
    grid->addWidget(DiscardAfter, 0, 1);
    grid->addWidget(AnimationRateLabel, 1, 0);
    grid->addWidget(AnimationRate, 1, 1);
    grid->addWidget(AnimationLastFrameLabel, 2, 0);
    grid->addWidget(AnimationLastFrame, 2, 1);
    grid->addWidget(MemoryUsageLabel, 3, 0);
    grid->addWidget(MemoryUsage, 3, 1);
}

void FrmSetup::buildCursorFrame() {
    CursorSettings = named<QGroupBox>("CursorSettings", QStringLiteral("Cursor Settings "), this);
    CursorMovement =
        named<QCheckBox>("CursorMovement", QStringLiteral("Ignore movement"), CursorSettings);
    CursorVisibility =
        named<QCheckBox>("CursorVisibility", QStringLiteral("Always visible"), CursorSettings);
    auto* row = new QHBoxLayout(CursorSettings);
    row->addWidget(CursorMovement);
    row->addWidget(CursorVisibility);
    row->addStretch();
}

void FrmSetup::buildButtons() {
    AboutButton = named<QPushButton>("AboutButton",
                                     QStringLiteral("                 About Nimbuscope..."), this);
    AboutIcon = named<PictureBox>("AboutIcon", AboutButton);
    const QImage logo{QLatin1String(FrmAbout::kLogoResource)};
    AboutIcon->setPicture(
        logo.copy(kLogoScope)
            .scaled(kAboutIconSize, kAboutIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    AboutIcon->setFixedSize(kAboutIconSize, kAboutIconSize);
    AboutIcon->setFocusPolicy(Qt::StrongFocus);
    AboutButton->setMinimumHeight(kAboutIconSize + kAboutIconInset);
    Ok = named<QPushButton>("Ok", QStringLiteral("OK"), this);
    CancelButton = named<QPushButton>("CancelButton", QStringLiteral("Cancel"), this);
    // Enter means OK only in the zip code box; no button is the dialog's default.
    for (QPushButton* button : {AboutButton, Ok, CancelButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
}

void FrmSetup::placeAboutIcon() {
    AboutIcon->move(kAboutIconInset, (AboutButton->height() - kAboutIconSize) / 2);
}

void FrmSetup::PositionFrmSetup() {
    const QScreen* on = screen();
    if (on == nullptr) {
        return;
    }
    const QRect area = on->geometry();
    const QSize size = frameGeometry().size();
    move(area.x() + (area.width() - size.width()) / 2,
         area.y() + (area.height() - size.height()) / 2);
}

} // namespace nimbuscope
