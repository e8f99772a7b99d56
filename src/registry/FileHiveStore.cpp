#include "registry/FileHiveStore.h"

#include "registry/RegistryApi.h"
#include "registry/RegistryHiveFormat.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nimbuscope {

namespace {

constexpr mode_t kPrivateFileMode = 0600;
constexpr mode_t kSharedFileMode = 0644;
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kSharedFolderMode = 0755;

bool inGroup(gid_t gid) {
    if (getegid() == gid) {
        return true;
    }
    const int count = getgroups(0, nullptr);
    if (count <= 0) {
        return false;
    }
    std::vector<gid_t> groups(std::size_t(count), 0);
    const int got = getgroups(count, groups.data());
    return std::find(groups.begin(), groups.begin() + std::max(got, 0), gid) !=
           groups.begin() + std::max(got, 0);
}

/// The bits that apply to this user: owner, group or others, as the file system would
/// choose them for an ordinary user.
mode_t applicableBits(const struct stat& st) {
    if (st.st_uid == geteuid()) {
        return (st.st_mode >> 6) & 07;
    }
    if (inGroup(st.st_gid)) {
        return (st.st_mode >> 3) & 07;
    }
    return st.st_mode & 07;
}

constexpr mode_t kWriteBit = 02;
constexpr mode_t kSearchBit = 01;

bool statPath(const QString& path, struct stat& st) {
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

bool folderGrantsWrite(const QString& folder) {
    struct stat st {};
    return statPath(folder, st) && S_ISDIR(st.st_mode) &&
           (applicableBits(st) & (kWriteBit | kSearchBit)) == (kWriteBit | kSearchBit);
}

/// The folder itself when it exists, else its nearest existing parent.
QString nearestExistingFolder(const QString& folder) {
    QString current = QDir::cleanPath(folder);
    while (!QFileInfo::exists(current)) {
        const QString parent = QFileInfo(current).path();
        if (parent == current) {
            break;
        }
        current = parent;
    }
    return current;
}

bool makeFolders(const QString& folder, mode_t mode) {
    const QString existing = nearestExistingFolder(folder);
    const QString missing = QDir(existing).relativeFilePath(QDir::cleanPath(folder));
    if (missing == QLatin1String(".")) {
        return true;
    }
    QString current = existing;
    for (const QString& part : missing.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        current += QLatin1Char('/') + part;
        if (::mkdir(QFile::encodeName(current).constData(), mode) != 0 && errno != EEXIST) {
            return false;
        }
    }
    return true;
}

/// Holds an exclusive lock on the lock file beside the hive while it lives.
class ExclusiveLock {
public:
    ExclusiveLock(const QString& path, mode_t mode) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CREAT | O_CLOEXEC, mode);
        if (fd_ < 0) {
            return;
        }
        int rc = 0;
        do {
            rc = ::flock(fd_, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~ExclusiveLock() {
        if (fd_ >= 0) {
            ::close(fd_); // releases the lock
        }
    }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

/// Up to `limit` bytes from `fd`, to its end; false on a read error.
bool readUpTo(int fd, qsizetype limit, QByteArray& out) {
    constexpr qsizetype kChunk = 64 * 1024;
    out.clear();
    while (out.size() < limit) {
        const qsizetype want = std::min(kChunk, limit - out.size());
        const qsizetype start = out.size();
        out.resize(start + want);
        const ssize_t n = ::read(fd, out.data() + start, std::size_t(want));
        if (n < 0 && errno == EINTR) {
            out.resize(start);
            continue;
        }
        if (n < 0) {
            return false;
        }
        out.resize(start + n);
        if (n == 0) {
            break;
        }
    }
    return true;
}

void syncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

FileHiveStore::FileHiveStore(QString path, QString rootName, bool privateToUser)
    : path_(std::move(path)), folder_(QFileInfo(path_).absolutePath()),
      rootName_(std::move(rootName)), privateToUser_(privateToUser) {}

unsigned FileHiveStore::fileMode() const {
    return privateToUser_ ? kPrivateFileMode : kSharedFileMode;
}

bool FileHiveStore::writable() {
    struct stat st {};
    if (statPath(path_, st)) {
        return S_ISREG(st.st_mode) && (applicableBits(st) & kWriteBit) != 0 &&
               folderGrantsWrite(folder_);
    }
    return folderGrantsWrite(nearestExistingFolder(folder_));
}

long FileHiveStore::readFile(RegistryHive& hive) const {
    hive = RegistryHive(rootName_);
    // Without waiting: a FIFO put in the hive's place must not hang the program.
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return errno == ENOENT || errno == ENOTDIR ? regstatus::Success : regstatus::AccessDenied;
    }
    struct stat st {};
    QByteArray bytes;
    long status = regstatus::Success;
    if (::fstat(fd, &st) != 0) {
        status = regstatus::AccessDenied;
    } else if (!S_ISREG(st.st_mode) || st.st_size > hivelimits::kMaxFileBytes ||
               !readUpTo(fd, hivelimits::kMaxFileBytes + 1, bytes) ||
               bytes.size() > hivelimits::kMaxFileBytes) {
        status = regstatus::BadFile;
    }
    ::close(fd);
    return status == regstatus::Success ? parseBytes(bytes, hive) : status;
}

long FileHiveStore::parseBytes(const QByteArray& bytes, RegistryHive& hive) const {
    if (!parsed_.valid || parsed_.bytes != bytes) {
        std::optional<RegistryHive> parsed = parseHive(bytes, rootName_);
        // A hive is only taken when it can be written back within the limits as well.
        const bool usable = parsed && writeHiveWithinLimits(*parsed).has_value();
        parsed_ = {true, bytes, usable ? regstatus::Success : regstatus::BadFile,
                   usable ? std::move(*parsed) : RegistryHive(rootName_)};
    }
    hive = parsed_.hive;
    return parsed_.status;
}

long FileHiveStore::read(RegistryHive& hive) {
    return readFile(hive);
}

bool FileHiveStore::setDamagedFileAside() const {
    // The file's own time names the copy, so the name says which state of the file it holds.
    const QString stamp =
        QFileInfo(path_).lastModified().toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = path_ + QStringLiteral(".damaged-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n) {
        aside = path_ + QStringLiteral(".damaged-") + stamp + u'-' + QString::number(n);
    }
    if (::rename(QFile::encodeName(path_).constData(), QFile::encodeName(aside).constData()) != 0) {
        return false;
    }
    qWarning("Registry hive %s could not be read; it is kept as %s and a new one is started",
             qPrintable(path_), qPrintable(aside));
    return true;
}

bool FileHiveStore::writeAtomically(const QByteArray& bytes) const {
    QByteArray temp = QFile::encodeName(folder_ + QStringLiteral("/.") +
                                        QFileInfo(path_).fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written =
        ::fchmod(fd, mode_t(fileMode())) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed ||
        ::rename(temp.constData(), QFile::encodeName(path_).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    syncFolder(folder_);
    return true;
}

long FileHiveStore::update(const Change& change) {
    if (!writable()) {
        return regstatus::AccessDenied;
    }
    const mode_t folderMode = privateToUser_ ? kPrivateFolderMode : kSharedFolderMode;
    if (!makeFolders(folder_, folderMode)) {
        return regstatus::AccessDenied;
    }
    const ExclusiveLock lock(path_ + QStringLiteral(".lock"), mode_t(fileMode()));
    if (!lock.held()) {
        return regstatus::AccessDenied;
    }
    RegistryHive hive(rootName_);
    const long readStatus = readFile(hive);
    if (readStatus == regstatus::AccessDenied) {
        return readStatus;
    }
    const bool damaged = readStatus == regstatus::BadFile;
    const RegistryHive before = hive;
    const long status = change(hive);
    if (status != regstatus::Success) {
        return status;
    }
    if (!withinHiveLimits(hive)) {
        return regstatus::NoSystemResources;
    }
    if (!damaged && hive == before) {
        return regstatus::Success;
    }
    const std::optional<QByteArray> text = writeHiveWithinLimits(hive);
    if (!text) {
        return regstatus::NoSystemResources;
    }
    if (damaged && !setDamagedFileAside()) {
        return regstatus::BadFile;
    }
    if (!writeAtomically(*text)) {
        return regstatus::AccessDenied;
    }
    parsed_ = {true, *text, regstatus::Success, std::move(hive)};
    return regstatus::Success;
}

} // namespace nimbuscope
