#pragma once

#include "desktop/Dialogs.h"

#include <QDialog>
#include <QStringList>

#include <deque>
#include <functional>

namespace nimbuscope::test {

/// Records every message box and answers modal dialogs from a queue the test fills in
/// advance; an unscripted dialog is rejected at once.
class FakeDialogs final : public Dialogs {
public:
    using Answer = std::function<int(QDialog&)>;

    void messageBox(const QString& text, QWidget*) override { messages.append(text); }
    int showModal(QDialog& dialog) override {
        modalTitles.append(dialog.windowTitle());
        if (answers.empty()) {
            return QDialog::Rejected;
        }
        const Answer answer = std::move(answers.front());
        answers.pop_front();
        return answer(dialog);
    }

    QStringList messages;
    QStringList modalTitles;
    std::deque<Answer> answers;
};

} // namespace nimbuscope::test
