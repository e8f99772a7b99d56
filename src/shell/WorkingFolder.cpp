#include "shell/WorkingFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace nimbuscope {

namespace {

constexpr mode_t kSharedFolderMode = 01777;
constexpr QFileDevice::Permissions kPrivateFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

void makeSharedFolder(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) == 0) {
        ::chmod(native.constData(), kSharedFolderMode);
    }
}

bool isOwnFolder(const QString& path) {
    const QFileInfo info(path);
    return !info.isSymLink() && info.isDir() && info.ownerId() == ::geteuid();
}

QString privateFolder(const QString& path) {
    QDir().mkdir(path, kPrivateFolder);
    if (isOwnFolder(path)) {
        QFile::setPermissions(path, kPrivateFolder);
        return path;
    }
    QTemporaryDir fresh(path + QStringLiteral("-XXXXXX"));
    if (!fresh.isValid()) {
        return path;
    }
    fresh.setAutoRemove(false);
    return fresh.path();
}

} // namespace

QString workingFolderFor(const QString& tempFolder, const QString& userName) {
    QString user = userName;
    user.replace(QLatin1Char(' '), QLatin1Char('-'));
    // A separator in a name from the system's user database would lead out of the folder.
    user.replace(QLatin1Char('/'), QLatin1Char('-'));
    user.replace(QLatin1Char('\\'), QLatin1Char('-'));
    user = user.trimmed();
    if (user.isEmpty()) {
        user = QStringLiteral("all");
    }
    QString base = tempFolder;
    if (base.endsWith(QLatin1Char('/')) || base.endsWith(QLatin1Char('\\'))) {
        base.chop(1);
    }
    return base + QStringLiteral("/Nimbuscope/tmp-") + user;
}

QString makeWorkingFolders(const QString& tempFolder, const QString& userName) {
    const QString wanted = workingFolderFor(tempFolder, userName);
    makeSharedFolder(QFileInfo(wanted).path());
    const QString folder = privateFolder(wanted);
    QDir().mkdir(folder + QStringLiteral("/data"));
    return folder;
}

} // namespace nimbuscope
