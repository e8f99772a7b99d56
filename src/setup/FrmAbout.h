#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace nimbuscope {

class PictureBox;

/// The about box, captioned "About Nimbuscope": the logo, a few lines about the program and
/// OK. The setup dialog places it, shows it modally and unloads it.
class FrmAbout final : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "About Nimbuscope";
    static constexpr const char* kLogoResource = ":/nimbuscope/NimbuscopeLogo.jpg";

    explicit FrmAbout(QWidget* parent = nullptr);

    void Form_Load();
    void Ok_Click();

    PictureBox* Image1 = nullptr;
    QLabel* NimbuscopeInfo = nullptr;
    QPushButton* Ok = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace nimbuscope
