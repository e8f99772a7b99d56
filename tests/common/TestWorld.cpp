#include "common/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace nimbuscope::test {

namespace {
const char* const kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS", "XDG_RUNTIME_DIR",
                                  "TMPDIR"};
}

TestWorld::TestWorld() {
    for (const char* name : kVariables) {
        saved_.append({name, qgetenv(name)});
    }
    const QStringList folders = {home(), configHome(), configDir(), runtimeDir(), tmp()};
    for (const QString& f : folders) {
        QDir().mkpath(f);
    }
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", home().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", configDir().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", runtimeDir().toLocal8Bit());
    qputenv("TMPDIR", tmp().toLocal8Bit());
}

TestWorld::~TestWorld() {
    for (const auto& [name, value] : saved_) {
        if (value.isNull()) {
            qunsetenv(name.constData());
        } else {
            qputenv(name.constData(), value);
        }
    }
}

QString TestWorld::writeFile(const QString& path, const QByteArray& bytes) const {
    const QString full = QDir::isAbsolutePath(path) ? path : root() + QLatin1Char('/') + path;
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.write(bytes);
    }
    return full;
}

QByteArray TestWorld::readFile(const QString& path) const {
    const QString full = QDir::isAbsolutePath(path) ? path : root() + QLatin1Char('/') + path;
    QFile f(full);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace nimbuscope::test
