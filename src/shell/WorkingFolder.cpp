#include "shell/WorkingFolder.h"

#include "support/FolderHandle.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace nimbuscope {

namespace {

constexpr mode_t kSharedFolderMode = 01777;
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;
constexpr uid_t kRootUid = 0;
const QString kSharedFolderName = QStringLiteral("Nimbuscope");
const QString kDataFolderName = QStringLiteral("data");
// Nothing can exist below a device file: a run without a cache names its files there.
const QString kNowhere = QStringLiteral("/dev/null/");

QString reasonOf(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isOwn(const FolderHandle& folder) {
    const std::optional<struct stat> info = folder.status();
    return info && info->st_uid == ::geteuid();
}

/// Nobody but its owner (and root) can rename or delete what others keep in the folder.
bool keepsOthersOut(const struct stat& info) {
    return (info.st_mode & S_ISVTX) != 0 || (info.st_mode & kWritableByOthers) == 0;
}

/// The folder that holds the shared one, and the name of the user's folder in that.
std::pair<QString, QString> workingFolderParts(const QString& tempFolder, const QString& userName) {
    const QString wanted = workingFolderFor(tempFolder, userName);
    const QString base = wanted.section(QLatin1Char('/'), 0, -3);
    return {base.isEmpty() ? QStringLiteral("/") : base, wanted.section(QLatin1Char('/'), -1)};
}

/// Only this user or root can have planted what the shared folder holds.
bool isTrustedShared(const struct stat& info) {
    return (info.st_uid == ::geteuid() || info.st_uid == kRootUid) && keepsOthersOut(info);
}

/// The temporary folder is the user's own choice: a link naming it is followed.
std::shared_ptr<FolderHandle> openTemporaryFolder(const QString& path) {
    FileDescriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.valid() ? std::make_shared<FolderHandle>(std::move(fd), path) : nullptr;
}

/// The folder `name` in `parent` when it is already there and this user's own; else null.
std::shared_ptr<FolderHandle> existingOwnFolder(const FolderHandle& parent, const QString& name) {
    std::shared_ptr<FolderHandle> folder = FolderHandle::openIn(parent, name);
    return folder && isOwn(*folder) ? folder : nullptr;
}

/// The shared folder, made open to all and sticky when it is new; or why it cannot be used.
std::shared_ptr<FolderHandle> openSharedFolder(const FolderHandle& temp, QString& refusal) {
    const bool made = ::mkdirat(temp.fd(), QFile::encodeName(kSharedFolderName).constData(),
                                kPrivateFolderMode) == 0;
    std::shared_ptr<FolderHandle> shared = FolderHandle::openIn(temp, kSharedFolderName);
    const QString path = temp.path() + kSharedFolderName;
    if (!shared) {
        refusal = path + QStringLiteral(" is not a folder (") + reasonOf(errno) + QLatin1Char(')');
        return nullptr;
    }
    if (made) {
        ::fchmod(shared->fd(), kSharedFolderMode);
    }
    const std::optional<struct stat> info = shared->status();
    if (!info) {
        refusal = path + QStringLiteral(" cannot be read");
        return nullptr;
    }
    if (info->st_uid == ::geteuid() && !keepsOthersOut(*info)) {
        ::fchmod(shared->fd(), (info->st_mode & 07777) | S_ISVTX); // ours to mend
    } else if (!isTrustedShared(*info)) {
        refusal = path + QStringLiteral(" belongs to user ") + QString::number(info->st_uid) +
                  QStringLiteral(" and is not sticky or not closed to others");
        return nullptr;
    }
    return shared;
}

/// The folder `name` in `parent` when it is (or is now made) a folder of this user's own,
/// private to them; else null.
std::shared_ptr<FolderHandle> ownPrivateFolder(const FolderHandle& parent, const QString& name) {
    ::mkdirat(parent.fd(), QFile::encodeName(name).constData(), kPrivateFolderMode);
    std::shared_ptr<FolderHandle> folder = existingOwnFolder(parent, name);
    if (!folder) {
        return nullptr;
    }
    ::fchmod(folder->fd(), kPrivateFolderMode);
    return folder;
}

/// "data" in the user's own folder; a link or a file by that name gives way to a folder.
std::shared_ptr<FolderHandle> dataFolder(const FolderHandle& folder) {
    if (std::shared_ptr<FolderHandle> data = ownPrivateFolder(folder, kDataFolderName)) {
        return data;
    }
    // unlinkat without flags removes a link or a file, never a folder or what a link names.
    ::unlinkat(folder.fd(), QFile::encodeName(kDataFolderName).constData(), 0);
    return ownPrivateFolder(folder, kDataFolderName);
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

QString WorkingFolders::path() const {
    return folder ? folder->path().chopped(1) : QString();
}

QString WorkingFolders::dataPath() const {
    return data ? data->path() : kNowhere;
}

std::shared_ptr<const FolderHandle> WorkingFolders::dataAt(const QString& dataDirectory) const {
    return data && data->path() == dataDirectory ? data : nullptr;
}

std::shared_ptr<const FolderHandle> findCacheFolder(const QString& tempFolder,
                                                    const QString& userName) {
    const auto [base, ownName] = workingFolderParts(tempFolder, userName);
    const std::shared_ptr<FolderHandle> temp = openTemporaryFolder(base);
    const std::shared_ptr<FolderHandle> shared =
        temp ? FolderHandle::openIn(*temp, kSharedFolderName) : nullptr;
    const std::optional<struct stat> info = shared ? shared->status() : std::nullopt;
    if (!info || !isTrustedShared(*info)) {
        return nullptr;
    }
    const std::shared_ptr<FolderHandle> folder = existingOwnFolder(*shared, ownName);
    return folder ? existingOwnFolder(*folder, kDataFolderName) : nullptr;
}

WorkingFolders makeWorkingFolders(const QString& tempFolder, const QString& userName) {
    const auto [base, ownName] = workingFolderParts(tempFolder, userName);
    WorkingFolders made;
    const std::shared_ptr<FolderHandle> temp = openTemporaryFolder(base);
    if (!temp) {
        made.refusal = QStringLiteral("the temporary folder ") + base +
                       QStringLiteral(" cannot be opened (") + reasonOf(errno) + QLatin1Char(')');
        return made;
    }
    const std::shared_ptr<FolderHandle> shared = openSharedFolder(*temp, made.refusal);
    if (!shared) {
        return made;
    }
    std::shared_ptr<FolderHandle> folder = ownPrivateFolder(*shared, ownName);
    if (!folder) {
        // The name is taken by a link or by another user: a fresh folder for this run.
        const QString fresh = shared->makeFreshFolder(ownName + QLatin1Char('-'));
        folder = fresh.isEmpty() ? nullptr : ownPrivateFolder(*shared, fresh);
    }
    if (!folder) {
        made.refusal = QStringLiteral("no private folder could be made in ") + shared->path();
        return made;
    }
    made.data = dataFolder(*folder);
    if (!made.data) {
        made.refusal = QStringLiteral("no cache folder could be made in ") + folder->path();
        return made;
    }
    made.folder = std::move(folder);
    return made;
}

void prepareWorkingFolders(WorkingFolders& folders, const QString& tempFolder,
                           const QString& userName) {
    const bool made = !folders.refusal.isEmpty() || folders.folder;
    if (made && (!folders.folder || (folders.folder->stillThere() && folders.data->stillThere()))) {
        return;
    }
    folders = makeWorkingFolders(tempFolder, userName);
    if (!folders.refusal.isEmpty()) {
        std::fprintf(stderr, "nimbuscope: %s; running without a cache or log (memory only)\n",
                     qPrintable(folders.refusal));
        std::fflush(stderr);
    }
}

} // namespace nimbuscope
