#pragma once

#include "bridge/BridgeTransport.h"
#include "bridge/LegacyForms.h"
#include "platform/PasswordServices.h"
#include "desktop/SystemInput.h"
#include "shell/SetupDialogHost.h"

#include "noaa-sim/TodayAlerts.h"

#include <QApplication>
#include <QDateTime>
#include <QEvent>
#include <QList>
#include <QPoint>
#include <QStringList>
#include <QUrlQuery>

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

/// Where the rig's location lies (Kansas City, 64106).
inline constexpr LatLon kAlertsPlace{39.1031, -94.5785};

/// The weather service's active alerts as a scenario scripts them: the simulator's alerts
/// on the rig's clock, or an endpoint that fails or cannot be reached.
class ScriptedAlerts final : public BridgeTransport {
public:
    explicit ScriptedAlerts(std::function<QDateTime()> utcNow) : utcNow_(std::move(utcNow)) {}

    void get(const BridgeGet& request, Done done) override {
        requests << request.url;
        BridgeAnswer a;
        a.answered = !offline;
        if (offline) {
            a.error = QStringLiteral("Connection refused");
        } else if (failing) {
            a.status = 503;
            a.body = "{\"status\":503,\"title\":\"Service Unavailable\"}";
        } else {
            a.status = http_status::kOk;
            const QString point =
                QUrlQuery(QUrl(request.url).query()).queryItemValue(QStringLiteral("point"));
            a.body = QByteArray::fromStdString(alerts_.activeJson(point.toStdString(), now()));
        }
        done(a);
    }
    void abortAll() override {}

    void issue(const char* event, const char* severity, int minutes) {
        alerts_.issue({event, severity, minutes}, now());
    }
    QDateTime utcNow() const { return utcNow_(); }

    /// Every request sent, in order.
    QStringList requests;
    /// Requests get a 503 problem answer.
    bool failing = false;
    /// Requests get no answer at all.
    bool offline = false;

private:
    noaasim::SysSeconds now() const {
        return noaasim::SysSeconds(std::chrono::seconds(utcNow_().toSecsSinceEpoch()));
    }

    std::function<QDateTime()> utcNow_;
    noaasim::TodayAlerts alerts_;
};

/// The scenario tests' application. An end of the program raised inside an event that Qt
/// delivered (a key or a click sent to the window) is caught here, at the dispatch, as the
/// real end would stop everything there; the statuses are kept for the test to read.
class ScenarioApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override;

    static ScenarioApplication& instance() { return *static_cast<ScenarioApplication*>(qApp); }

    QList<int> endedInEvents;
};

/// A key press delivered by Qt to `target`.
void sendKey(QWidget* target, Qt::Key key);
/// A left-button event (or a move without buttons) at (5, 5) of `target`, delivered by Qt.
void sendMouse(QWidget* target, QEvent::Type type);

} // namespace nimbuscope::test
