#pragma once

#include "common/TestWorld.h"
#include "e2e/ImageCompare.h"
#include "e2e/SimControl.h"
#include "e2e/XvfbSession.h"

#include <QImage>
#include <QProcessEnvironment>
#include <QSize>
#include <QStringList>

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace nimbuscope::e2e {

#define ASSERT_RUNNING(session)                                                                    \
    ASSERT_TRUE((session).isRunning()) << (session).errorString().toStdString()

/// The real saver on a private X server, downloading from tools/noaa-sim over loopback, in
/// a private world whose hives point at the simulator with the zip code 64106.
class SaverE2eFixture : public ::testing::Test {
protected:
    static constexpr int kRadarShownMs = 30000;
    static constexpr int kEndsWithinMs = 5000;

    explicit SaverE2eFixture(const XvfbOptions& options = XvfbOptions{QSize(1024, 768)})
        : session(options) {}

    void SetUp() override;

    /// The current user's hive, as the programs under test read it.
    QString userHive() const;
    /// Adds `text` (registry editor lines, sections included) to the current user's hive.
    void addToUserHive(const QByteArray& text);
    /// Adds value lines to the saver's settings in both hives.
    void addSettings(const QByteArray& lines);

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
    /// Asks the simulator to answer paths matching `pattern` with a fault ("drop",
    /// "delay:MS" ...).
    bool simFault(const std::string& pattern, const std::string& kind);
    /// Whether the simulator has been asked for a path containing `part`.
    bool simAskedFor(const std::string& part);
    SimControl simControl() const;

    test::TestWorld world; // first: the programs run in its folders
    XvfbSession session;
    std::unique_ptr<ProgramRun> sim;
};

} // namespace nimbuscope::e2e
