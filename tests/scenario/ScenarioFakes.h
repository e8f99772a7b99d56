#pragma once

#include "platform/PasswordServices.h"
#include "desktop/SystemInput.h"
#include "shell/SetupDialogHost.h"

#include <QList>
#include <QPoint>

#include <deque>
#include <functional>

namespace nimbuscope::test {

/// The system cursor and keyboard, recorded: the display counter moves as the system's
/// does, and every call is kept.
class FakeSystemInput final : public SystemInput {
public:
    std::optional<QPoint> cursorPos() override { return position; }
    void setCursorPos(QPoint p) override {
        position = p;
        placed.append(p);
    }
    void showCursor(bool show) override {
        displayCounter += show ? 1 : -1;
        showCalls.append(show);
    }
    void sendKey(int key) override {
        keysSent.append(key);
        if (onKey) {
            onKey(key);
        }
    }

    /// The system shows the cursor while its counter is not negative.
    bool cursorVisible() const { return displayCounter >= 0; }

    QPoint position{400, 300};
    int displayCounter = 0;
    QList<bool> showCalls;
    QList<QPoint> placed;
    QList<int> keysSent;
    std::function<void(int)> onKey;
};

/// The 9x password dialog, answered by the test: `verify` decides (accepted by default).
class ScriptedPasswords final : public PasswordServices {
public:
    bool changePassword(qint32) override { return false; }
    bool verifyPassword(qint32) override {
        ++asked;
        return verify ? verify() : true;
    }

    std::function<bool()> verify;
    int asked = 0;
};

/// The setup dialog, answered by the test: each showing takes the next answer (which may
/// change the settings as the dialog would) and returns its Cancel flag; without answers
/// the user presses Cancel.
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
