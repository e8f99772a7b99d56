#pragma once

#include "desktop/SystemInput.h"
#include "platform/PasswordServices.h"
#include "shell/SetupDialogHost.h"

#include <QPoint>

#include <deque>
#include <functional>

namespace nimbuscope::test {

/// The system cursor: the display counter moves as the system's does.
class FakeSystemInput final : public SystemInput {
public:
    std::optional<QPoint> cursorPos() override { return position; }
    void setCursorPos(QPoint p) override { position = p; }
    void showCursor(bool show) override { displayCounter += show ? 1 : -1; }
    void sendKey(int) override {}

    /// The system shows the cursor while its counter is not negative.
    bool cursorVisible() const { return displayCounter >= 0; }

    QPoint position{400, 300};
    int displayCounter = 0;
};

/// The 9x password dialog, never shown on this platform.
class NoPasswords final : public PasswordServices {
public:
    bool changePassword(qint32) override { return false; }
    bool verifyPassword(qint32) override { return true; }
};

/// The setup dialog: each showing takes the next answer (which may change the settings as the
/// dialog would) and returns its Cancel flag; without answers the user presses Cancel.
class ScriptedSetup final : public SetupDialogHost {
public:
    using Answer = std::function<bool()>;

    bool showModalCentredTopmost(QWidget*, const QRect&) override {
        ++shown;
        if (answers.empty()) {
            return true;
        }
        const Answer answer = std::move(answers.front());
        answers.pop_front();
        return answer();
    }

    std::deque<Answer> answers;
    int shown = 0;
};

} // namespace nimbuscope::test
