#pragma once

#include "common/TestWorld.h"
#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/NoaaSimRun.h"
#include "e2e/kit/SaverWorld.h"
#include "e2e/kit/SimControl.h"
#include "e2e/kit/XvfbSession.h"

#include <QProcessEnvironment>
#include <QSize>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace nimbuscope::e2e {

/// The real saver on a private X server, downloading from tools/noaa-sim over loopback, in
/// a private world whose hives point at the simulator with the zip code 64106.
class SaverE2eFixture : public ::testing::Test {
protected:
    // Frames drawn from the simulated map server's renderings take longest.
    static constexpr int kRadarShownMs = 45000;
    static constexpr int kEndsWithinMs = 5000;

    explicit SaverE2eFixture(const XvfbOptions& options = XvfbOptions{QSize(1024, 768)},
                             const QStringList& simArguments = {})
        : session(options), sim(QStringLiteral(NIMBUSCOPE_NOAA_SIM), simArguments) {}

    void SetUp() override;

    std::unique_ptr<ProgramRun>
    startSaver(const QStringList& arguments = {QStringLiteral("/s")},
               const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment());
    /// True once `screen` (or, when given, `window`) shows radar frames.
    bool radarOnScreen(int screen = 0);
    bool radarIn(quint32 window);
    /// True when the saver ends by itself within kEndsWithinMs, with exit status 0.
    bool endsCleanly(ProgramRun& saver);
    /// Files a write cut short would leave in the saver's working folders.
    QStringList halfWrittenFiles() const;
    SimControl simControl() const { return SimControl(QUrl(sim.baseUrl()).port()); }
    /// Asks the simulator to answer paths matching `pattern` with a fault ("drop",
    /// "delay:MS" ...).
    bool simFault(const std::string& pattern, const std::string& kind) {
        return simControl().fault(pattern, kind);
    }

    test::TestWorld world; // first: the programs run in its folders
    XvfbSession session;
    NoaaSimRun sim;
};

} // namespace nimbuscope::e2e
