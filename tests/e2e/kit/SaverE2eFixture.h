#pragma once

#include "common/TestWorld.h"
#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/NoaaSimRun.h"
#include "e2e/kit/SaverScreen.h"
#include "e2e/kit/XvfbSession.h"

#include <QDir>
#include <QProcessEnvironment>
#include <QStringList>

#include <memory>

#include <gtest/gtest.h>

namespace nimbuscope::e2e {

// Where the programs under test keep their settings and their cache in a TestWorld.
inline QString userHive(const test::TestWorld& world) {
    return world.configHome() + QStringLiteral("/nimbuscope/registry/HKEY_CURRENT_USER.reg");
}
inline QString machineHive(const test::TestWorld& world) {
    return world.configDir() + QStringLiteral("/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg");
}
/// Both hives holding the saver's settings section with `lines` (registry editor value
/// lines); the programs use the machine one, which the test may write.
inline void writeHives(const test::TestWorld& world, const QByteArray& lines) {
    const QByteArray header = "Windows Registry Editor Version 5.00\n\n[";
    const QByteArray section = "\\Software\\Calderwick\\Nimbuscope]\n";
    world.writeFile(userHive(world), header + "HKEY_CURRENT_USER" + section + lines);
    world.writeFile(machineHive(world), header + "HKEY_LOCAL_MACHINE" + section + lines);
}
/// The cache files of every user whose names match `pattern`, with their folders.
inline QStringList cachedFiles(const test::TestWorld& world, const QString& pattern) {
    QStringList files;
    const QDir shared(world.tmp() + QStringLiteral("/Nimbuscope"));
    for (const QString& user : shared.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir data(shared.filePath(user) + QStringLiteral("/data"));
        for (const QString& name : data.entryList({pattern}, QDir::Files)) {
            files << data.filePath(name);
        }
    }
    return files;
}

/// The real saver on a private 1024x768 X server, downloading from tools/noaa-sim over
/// loopback, in a private world whose hives point at the simulator with the zip code 64106.
class SaverE2eFixture : public ::testing::Test {
protected:
    // Frames drawn from the simulated map server's renderings take longest.
    static constexpr int kRadarShownMs = 45000;
    static constexpr int kEndsWithinMs = 5000;

    explicit SaverE2eFixture(const QStringList& simArguments = {})
        : session(XvfbOptions{QSize(1024, 768)}),
          sim(QStringLiteral(NIMBUSCOPE_NOAA_SIM), simArguments) {}

    void SetUp() override {
        ASSERT_RUNNING(session);
        ASSERT_TRUE(sim.isListening()) << sim.describe().toStdString();
        writeHives(world, sim.registryLines() +
                              "\"zipcode\"=\"64106\"\n\"locationMode\"=dword:00000001\n");
    }

    std::unique_ptr<ProgramRun>
    startSaver(const QStringList& arguments = {QStringLiteral("/s")},
               const QProcessEnvironment& base = QProcessEnvironment::systemEnvironment()) {
        return session.run(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), arguments, base);
    }
    /// True once the screen shows radar frames: about 5 % of it vivid, where the start-up
    /// logo makes 0.1 %.
    bool radarOnScreen() {
        return waitUntil([&] { return vividShare(session.x().grabScreen()) > 0.01; },
                         kRadarShownMs);
    }
    /// True when the saver ends by itself within kEndsWithinMs, with exit status 0.
    static bool endsCleanly(ProgramRun& saver) {
        return saver.waitForEnd(kEndsWithinMs) && saver.endedNormally() && saver.exitCode() == 0;
    }

    test::TestWorld world; // first: the programs run in its folders
    XvfbSession session;
    NoaaSimRun sim;
};

} // namespace nimbuscope::e2e
