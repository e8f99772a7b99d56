#pragma once

#include <QApplication>
#include <QEvent>
#include <QList>

namespace nimbuscope::test {

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
