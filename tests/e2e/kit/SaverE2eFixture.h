#pragma once

#include "common/TestWorld.h"
#include "e2e/kit/ImageCompare.h"
#include "e2e/kit/XvfbSession.h"

#include <gtest/gtest.h>

namespace nimbuscope::e2e {

// Where the programs under test keep their settings in a TestWorld.
inline QString userHive(const test::TestWorld& world) {
    return world.configHome() + QStringLiteral("/nimbuscope/registry/HKEY_CURRENT_USER.reg");
}
inline QString machineHive(const test::TestWorld& world) {
    return world.configDir() + QStringLiteral("/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg");
}

/// The real saver on a private X server, downloading from tools/noaa-sim over loopback, in a
/// private world whose hives point at the simulator with the zip code 64106.
class SaverE2eFixture : public ::testing::Test {
protected:
    // Frames drawn from the simulated map server's renderings take longest.
    static constexpr int kRadarShownMs = 45000;
    static constexpr int kEndsWithinMs = 5000;

    explicit SaverE2eFixture(const QStringList& simArguments = {})
        : sim(QStringLiteral(NIMBUSCOPE_NOAA_SIM), simArguments) {}

    void SetUp() override {
        ASSERT_RUNNING(session);
        ASSERT_TRUE(sim.isListening()) << sim.describe().toStdString();
        writeHives("\"zipcode\"=\"64106\"\n\"locationMode\"=dword:00000001\n");
    }
    /// Both hives holding the saver's settings: the simulator's and `lines` (registry editor
    /// value lines); the programs use the machine one, which the test may write.
    void writeHives(const QByteArray& lines) {
        const QByteArray header = "Windows Registry Editor Version 5.00\n\n[";
        const QByteArray section = "\\Software\\Calderwick\\Nimbuscope]\n" + sim.registryLines();
        world.writeFile(userHive(world), header + "HKEY_CURRENT_USER" + section + lines);
        world.writeFile(machineHive(world), header + "HKEY_LOCAL_MACHINE" + section + lines);
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

    test::TestWorld world; // first: the programs run in its folders
    XvfbSession session;
    NoaaSimRun sim;
};

} // namespace nimbuscope::e2e
