#include "support/FolderHandle.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace nimbuscope {

namespace {

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Pipes and devices answer open() at once instead of waiting for the other end.
constexpr int kOpenFile = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr mode_t kPrivateFile = 0600;
constexpr mode_t kPrivateFolder = 0700;
constexpr int kFreshNameTries = 100;
constexpr int kRandomSuffixLength = 6;
constexpr char kSuffixCharacters[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

bool isRegular(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

QString randomSuffix() {
    QString suffix;
    for (int i = 0; i < kRandomSuffixLength; ++i) {
        const int pick = QRandomGenerator::global()->bounded(int(sizeof kSuffixCharacters) - 1);
        suffix += QLatin1Char(kSuffixCharacters[pick]);
    }
    return suffix;
}

/// Hands `fd` over to `file`, which closes it from then on; when `file` cannot take it, `fd`
/// keeps it (and closes it).
bool adopt(QFile& file, FileDescriptor& fd, QIODevice::OpenMode mode) {
    if (!file.open(fd.get(), mode, QFileDevice::AutoCloseHandle)) {
        return false;
    }
    fd.release();
    return true;
}

bool matchesAny(const QString& name, const QList<QRegularExpression>& patterns) {
    return std::any_of(patterns.begin(), patterns.end(),
                       [&](const QRegularExpression& p) { return p.match(name).hasMatch(); });
}

} // namespace

QByteArray nativeName(const QString& name) {
    return QFile::encodeName(name);
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.release();
    }
    return *this;
}

FolderHandle::FolderHandle(FileDescriptor fd, QString path)
    : fd_(std::move(fd)), path_(std::move(path)) {
    if (!path_.endsWith(QLatin1Char('/'))) {
        path_ += QLatin1Char('/');
    }
}

std::shared_ptr<FolderHandle> FolderHandle::open(const QString& path) {
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/'))) {
        trimmed.chop(1);
    }
    FileDescriptor fd(::open(nativeName(trimmed).constData(), kOpenFolder));
    if (!fd.valid()) {
        return nullptr;
    }
    return std::make_shared<FolderHandle>(std::move(fd), trimmed);
}

std::shared_ptr<FolderHandle> FolderHandle::openIn(const FolderHandle& parent,
                                                   const QString& name) {
    FileDescriptor fd(::openat(parent.fd(), nativeName(name).constData(), kOpenFolder));
    if (!fd.valid()) {
        return nullptr;
    }
    return std::make_shared<FolderHandle>(std::move(fd), parent.path() + name);
}

std::optional<struct stat> FolderHandle::status() const {
    struct stat info {};
    if (::fstat(fd(), &info) != 0) {
        return std::nullopt;
    }
    return info;
}

bool FolderHandle::stillThere() const {
    const std::optional<struct stat> info = status();
    return info && info->st_nlink > 0;
}

std::vector<FolderHandle::Entry> FolderHandle::files() const {
    std::vector<Entry> found;
    // A description of its own, so that the listing's position is not shared with fd().
    const int listing = ::openat(fd(), ".", kOpenFolder);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (dir == nullptr) {
        if (listing >= 0) {
            ::close(listing);
        }
        return found;
    }
    while (const dirent* entry = ::readdir(dir)) {
        struct stat info {};
        if (::fstatat(fd(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode)) {
            continue;
        }
        found.push_back({QFile::decodeName(entry->d_name), qint64(info.st_size), info.st_mtim});
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) {
        return QString::compare(a.name, b.name, Qt::CaseInsensitive) < 0;
    });
    return found;
}

QStringList FolderHandle::fileNames(const QStringList& patterns) const {
    QList<QRegularExpression> matchers;
    for (const QString& pattern : patterns) {
        matchers.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern),
                                           QRegularExpression::CaseInsensitiveOption));
    }
    QStringList names;
    for (const Entry& entry : files()) {
        if (matchesAny(entry.name, matchers)) {
            names.append(entry.name);
        }
    }
    return names;
}

bool FolderHandle::replaceFile(const QString& name, const QByteArray& bytes,
                               const FileWriteBody& body) const {
    QString temporary;
    FileDescriptor fd;
    for (int i = 0; i < kFreshNameTries && !fd.valid(); ++i) {
        temporary = QString(kTemporaryPrefix) + randomSuffix();
        fd = FileDescriptor(::openat(this->fd(), nativeName(temporary).constData(),
                                     O_WRONLY | O_CREAT | O_EXCL | kOpenFile, kPrivateFile));
        if (!fd.valid() && errno != EEXIST) {
            return false;
        }
    }
    if (!fd.valid()) {
        return false;
    }
    bool written = false;
    {
        QFile file;
        if (adopt(file, fd, QIODevice::WriteOnly)) {
            const qint64 count = body ? body(file, bytes) : file.write(bytes);
            written = count == bytes.size() && file.flush();
        }
    }
    // rename(2) replaces the old file in one step: readers see the old bytes or the new.
    if (written && ::renameat(this->fd(), nativeName(temporary).constData(), this->fd(),
                              nativeName(name).constData()) == 0) {
        return true;
    }
    ::unlinkat(this->fd(), nativeName(temporary).constData(), 0);
    return false;
}

bool FolderHandle::removeFile(const QString& name) const {
    const QByteArray native = nativeName(name);
    struct stat info {};
    if (::fstatat(fd(), native.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode)) {
        return false;
    }
    // unlinkat never follows a link and refuses a folder, whatever took the name meanwhile.
    return ::unlinkat(fd(), native.constData(), 0) == 0;
}

bool FolderHandle::renameFile(const QString& from, const QString& to) const {
    return ::renameat(fd(), nativeName(from).constData(), fd(), nativeName(to).constData()) == 0;
}

std::optional<QByteArray> FolderHandle::readFile(const QString& name, qint64 maxBytes) const {
    FileDescriptor fd(::openat(this->fd(), nativeName(name).constData(), O_RDONLY | kOpenFile));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > maxBytes) {
        return std::nullopt;
    }
    QFile file;
    if (!adopt(file, fd, QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.read(maxBytes);
}

FileDescriptor FolderHandle::openForWriting(const QString& name, int flags) const {
    FileDescriptor fd(::openat(this->fd(), nativeName(name).constData(),
                               O_WRONLY | flags | kOpenFile, kPrivateFile));
    if (fd.valid() && !isRegular(fd.get())) {
        return {};
    }
    return fd;
}

QString FolderHandle::makeFreshFolder(const QString& prefix) const {
    for (int i = 0; i < kFreshNameTries; ++i) {
        const QString name = prefix + randomSuffix();
        if (::mkdirat(fd(), nativeName(name).constData(), kPrivateFolder) == 0) {
            return name;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}

} // namespace nimbuscope
