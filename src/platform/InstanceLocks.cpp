#include "platform/InstanceLocks.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbuscope {

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
// File names stay well below the usual 255-byte limit; longer names end in a digest.
constexpr qsizetype kMaxEncodedName = 160;

// The gate's file: lock files of names are "nimbuscope-<name>.lock", so no name can reach it.
constexpr const char* kGateFile = "/nimbuscope.gate";

class FlockHold final : public InstanceLock {
public:
    explicit FlockHold(int fd) : fd_(fd) {}
    ~FlockHold() override { ::close(fd_); } // closing the descriptor releases the lock
    FlockHold(const FlockHold&) = delete;
    FlockHold& operator=(const FlockHold&) = delete;

private:
    int fd_;
};

// Stands for a lock that could not be made: a search finds nothing then either.
class NoHold final : public InstanceLock {};

int openLockFile(const QString& path, int flags) {
    int fd = -1;
    do {
        fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NOFOLLOW, kFileMode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int flockRetrying(int fd, int operation) {
    int rc = -1;
    do {
        rc = ::flock(fd, operation);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

} // namespace

FileInstanceLocks::FileInstanceLocks(QString runtimeFolder) : folder_(std::move(runtimeFolder)) {}

QString FileInstanceLocks::lockPath(const QString& name) const {
    QByteArray encoded = name.toUtf8().toPercentEncoding();
    if (encoded.size() > kMaxEncodedName) {
        const QByteArray digest =
            QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256).toHex();
        encoded = encoded.left(kMaxEncodedName - digest.size() - 1) + '-' + digest;
    }
    return folder_ + QStringLiteral("/nimbuscope-") + QString::fromLatin1(encoded) +
           QStringLiteral(".lock");
}

bool FileInstanceLocks::folderUsable() {
    if (folder_.isEmpty()) {
        return false;
    }
    const QByteArray path = QFile::encodeName(folder_);
    if (::mkdir(path.constData(), kFolderMode) != 0 && errno != EEXIST) {
        return false;
    }
    // Another user's folder (say a planted one in a shared temp folder) could hand us locks
    // that it controls, so only a private folder of our own is trusted.
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        return false;
    }
    return (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::unique_ptr<InstanceLock> FileInstanceLocks::acquire(const QString& name) {
    return folderUsable() ? hold(name) : nullptr;
}

bool FileInstanceLocks::isHeld(const QString& name) {
    return folderUsable() && heldNow(name);
}

std::unique_ptr<InstanceLock> FileInstanceLocks::acquireIfFree(const QString& name) {
    if (!folderUsable()) {
        return std::make_unique<NoHold>();
    }
    const int gate = openLockFile(folder_ + QLatin1String(kGateFile), O_RDWR | O_CREAT);
    if (gate < 0) {
        return std::make_unique<NoHold>();
    }
    // Every test-and-hold passes the gate one at a time, so no two see the name free. The
    // gate is held for a moment only; the kernel lets it go should this process die there.
    const FlockHold gateHold(gate);
    if (flockRetrying(gate, LOCK_EX) != 0) {
        return std::make_unique<NoHold>();
    }
    if (heldNow(name)) {
        return nullptr;
    }
    std::unique_ptr<InstanceLock> taken = hold(name);
    return taken ? std::move(taken) : std::make_unique<NoHold>();
}

std::unique_ptr<InstanceLock> FileInstanceLocks::hold(const QString& name) {
    const int fd = openLockFile(lockPath(name), O_RDWR | O_CREAT);
    if (fd < 0) {
        return nullptr;
    }
    if (flockRetrying(fd, LOCK_SH) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<FlockHold>(fd);
}

bool FileInstanceLocks::heldNow(const QString& name) {
    const int fd = openLockFile(lockPath(name), O_RDONLY);
    if (fd < 0) {
        return false; // never made, so never held
    }
    // An exclusive lock is refused while any hold exists, our own process's included.
    const bool held = flockRetrying(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace nimbuscope
