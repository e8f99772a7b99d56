#pragma once

#include <QApplication>
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

} // namespace nimbuscope::test
