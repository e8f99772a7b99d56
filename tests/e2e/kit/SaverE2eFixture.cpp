#include "e2e/kit/SaverE2eFixture.h"

#include <QDirIterator>

namespace nimbuscope::e2e {

namespace {

// A frame on screen makes about 5 % of the screen vivid, the start-up logo about 0.1 %.
constexpr double kRadarVivid = 0.01;

} // namespace

void SaverE2eFixture::SetUp() {
    ASSERT_RUNNING(session);
    ASSERT_TRUE(sim.isListening()) << sim.describe().toStdString();
    writeHives(world, sim.registryLines().toUtf8() +
                          "\"zipcode\"=\"64106\"\n\"locationMode\"=dword:00000001\n");
}

std::unique_ptr<ProgramRun> SaverE2eFixture::startSaver(const QStringList& arguments,
                                                        const QProcessEnvironment& base) {
    return session.run(QStringLiteral(NIMBUSCOPE_SAVER_PROGRAM), arguments, base);
}

bool SaverE2eFixture::radarOnScreen(int screen) {
    return waitUntil([&] { return vividShare(session.x().grabScreen(screen)) > kRadarVivid; },
                     kRadarShownMs);
}

bool SaverE2eFixture::radarIn(quint32 window) {
    return waitUntil([&] { return vividShare(session.x().grabWindow(window)) > kRadarVivid; },
                     kRadarShownMs);
}

bool SaverE2eFixture::endsCleanly(ProgramRun& saver) {
    return saver.waitForEnd(kEndsWithinMs) && saver.endedNormally() && saver.exitCode() == 0;
}

QStringList SaverE2eFixture::halfWrittenFiles() const {
    QStringList found;
    QDirIterator files(world.tmp(), {QStringLiteral(".nimbuscope-write-*")},
                       QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        found.append(files.next());
    }
    return found;
}

} // namespace nimbuscope::e2e
