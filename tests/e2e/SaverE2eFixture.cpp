#include "e2e/SaverE2eFixture.h"

#include "e2e/SaverScreen.h"

#include <QDirIterator>
#include <QRegularExpression>

#include <algorithm>

namespace nimbuscope::e2e {

namespace {

constexpr int kServerReadyMs = 10000;
// A frame on screen makes about 5 % of the screen vivid, the start-up logo about 0.1 %.
constexpr double kRadarVivid = 0.01;
const QString kSimHive = QStringLiteral("/sim.reg");

} // namespace

void SaverE2eFixture::SetUp() {
    ASSERT_RUNNING(session);
    const QString reg = world.root() + kSimHive;
    sim = session.run(
        QStringLiteral(NIMBUSCOPE_NOAA_SIM),
        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--print-reg"), reg});
    ASSERT_TRUE(waitUntil([&] { return world.readFile(reg).contains("alternateRegionLabel"); },
                          kServerReadyMs))
        << sim->describe().toStdString();
    // Settings in both hives: the machine hive is the chosen one where it may be written.
    QByteArray hive = world.readFile(reg);
    hive += "\"zipcode\"=\"64106\"\n\"locationMode\"=dword:00000001\n";
    world.writeFile(userHive(), hive);
    world.writeFile(world.configDir() +
                        QStringLiteral("/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg"),
                    QByteArray(hive).replace("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"));
}

QString SaverE2eFixture::userHive() const {
    return world.configHome() + QStringLiteral("/nimbuscope/registry/HKEY_CURRENT_USER.reg");
}

void SaverE2eFixture::addToUserHive(const QByteArray& text) {
    world.writeFile(userHive(), world.readFile(userHive()) + "\n" + text);
}

void SaverE2eFixture::addSettings(const QByteArray& lines) {
    // Both hives end with the settings' own section.
    const QString machineHive =
        world.configDir() + QStringLiteral("/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg");
    world.writeFile(userHive(), world.readFile(userHive()) + lines);
    world.writeFile(machineHive, world.readFile(machineHive) + lines);
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

SimControl SaverE2eFixture::simControl() const {
    // The port is the one the simulator printed into its settings; 0 while they are unread.
    const QRegularExpression portPattern(
        QStringLiteral("radarServerURL\"=\"http://127\\.0\\.0\\.1:(\\d+)/"));
    const auto match =
        portPattern.match(QString::fromUtf8(world.readFile(world.root() + kSimHive)));
    return SimControl(match.hasMatch() ? match.captured(1).toInt() : 0);
}

bool SaverE2eFixture::simFault(const std::string& pattern, const std::string& kind) {
    return simControl().fault(pattern, kind);
}

bool SaverE2eFixture::simAskedFor(const std::string& part) {
    return simControl().askedFor(part);
}

} // namespace nimbuscope::e2e
