#include "e2e/kit/SaverWorld.h"

#include <QDir>
#include <QFile>

namespace nimbuscope::e2e {

namespace {

const QByteArray kSection = "Software\\Calderwick\\Nimbuscope]\n";

} // namespace

QString userHive(const test::TestWorld& world) {
    return world.configHome() + QStringLiteral("/nimbuscope/registry/HKEY_CURRENT_USER.reg");
}

QString machineHive(const test::TestWorld& world) {
    return world.configDir() + QStringLiteral("/nimbuscope/registry/HKEY_LOCAL_MACHINE.reg");
}

void writeHives(const test::TestWorld& world, const QByteArray& lines) {
    const QByteArray header = "Windows Registry Editor Version 5.00\n\n[";
    world.writeFile(userHive(world), header + "HKEY_CURRENT_USER\\" + kSection + lines);
    world.writeFile(machineHive(world), header + "HKEY_LOCAL_MACHINE\\" + kSection + lines);
}

QStringList cachedFiles(const test::TestWorld& world, const QString& pattern) {
    QStringList files;
    const QDir nimbuscope(world.tmp() + QStringLiteral("/Nimbuscope"));
    for (const QString& user : nimbuscope.entryList({QStringLiteral("tmp-*")}, QDir::Dirs)) {
        const QDir data(nimbuscope.filePath(user) + QStringLiteral("/data"));
        for (const QString& name : data.entryList({pattern}, QDir::Files)) {
            files << data.filePath(name);
        }
    }
    return files;
}

} // namespace nimbuscope::e2e
