#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace nimbuscope {

/// Message boxes and modal display go through here, so a test can answer them in advance
/// instead of waiting for a user.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    /// A message box with `text`, an OK button and the application title "Nimbuscope";
    /// returns once the user has dismissed it.
    virtual void messageBox(const QString& text, QWidget* parent = nullptr) = 0;
    /// Shows `dialog` modally and returns its result code once it has been hidden.
    virtual int showModal(QDialog& dialog) = 0;
};

/// QMessageBox and QDialog::exec.
class QtDialogs final : public Dialogs {
public:
    static constexpr const char* kApplicationTitle = "Nimbuscope";

    void messageBox(const QString& text, QWidget* parent = nullptr) override;
    int showModal(QDialog& dialog) override;
};

} // namespace nimbuscope
