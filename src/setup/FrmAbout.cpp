#include "setup/FrmAbout.h"

#include "display/PictureBox.h"
#include "setup/SetupChoices.h"

#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace nimbuscope {

namespace {

constexpr int kMargin = 12;

} // namespace

FrmAbout::FrmAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QLatin1String(kCaption));
    setObjectName(QStringLiteral("FrmAbout"));

    Image1 = new PictureBox(this, true);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPicture(QImage(QLatin1String(kLogoResource)));
    Image1->setFixedSize(Image1->picture().size());
    NimbuscopeInfo = new QLabel(this);
    NimbuscopeInfo->setObjectName(QStringLiteral("NimbuscopeInfo"));
    NimbuscopeInfo->setAlignment(Qt::AlignCenter);
    Ok = new QPushButton(QStringLiteral("OK"), this);
    Ok->setObjectName(QStringLiteral("Ok"));
    Ok->setAutoDefault(false);
    Ok->installEventFilter(this);
    connect(Ok, &QPushButton::clicked, this, &FrmAbout::Ok_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Ok);
    buttons->addStretch();
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->addWidget(Image1, 0, Qt::AlignHCenter);
    column->addWidget(NimbuscopeInfo);
    column->addLayout(buttons);

    Form_Load();
    setFixedSize(sizeHint());
}

void FrmAbout::Form_Load() {
    NimbuscopeInfo->setText(QStringLiteral("Nimbuscope screensaver for Windows 9x/2k/XP\r\n"
                                           "Version 1.45\r\n"
                                           "\r\n"));
}

void FrmAbout::Ok_Click() {
    accept();
}

bool FrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Ok && event->type() == QEvent::KeyPress &&
        isCancelChord(static_cast<QKeyEvent*>(event)->modifiers())) {
        Ok_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void FrmAbout::keyPressEvent(QKeyEvent* event) {
    if (isCancelChord(event->modifiers())) {
        Ok_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace nimbuscope
