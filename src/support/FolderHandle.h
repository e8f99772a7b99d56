#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QIODevice;

namespace nimbuscope {

/// Writes `bytes` to `device`; returns the number of bytes written, or -1. Tests fail it
/// half-way.
using FileWriteBody = std::function<qint64(QIODevice& device, const QByteArray& bytes)>;

/// An open file descriptor, closed when it goes.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

/// A folder held open. Every file it makes, writes, renames, deletes or lists is in that very
/// folder: the operations work relative to the handle and never follow a link at a file's
/// name, so a link planted later in the folder, or in place of the folder or of any folder
/// above it, leads nowhere. Names are plain names inside the folder.
class FolderHandle {
public:
    /// Temporary files of `replaceFile` start so; a killed process may leave one behind.
    static constexpr QLatin1StringView kTemporaryPrefix{".nimbuscope-write-"};

    /// Opens the folder at `path`, whose last part must be a folder and not a link to one;
    /// null (with errno set) when it is not.
    static std::shared_ptr<FolderHandle> open(const QString& path);
    /// Opens the folder `name` inside `parent`, never through a link; null (errno set) when
    /// there is none.
    static std::shared_ptr<FolderHandle> openIn(const FolderHandle& parent, const QString& name);

    FolderHandle(FileDescriptor fd, QString path);
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    int fd() const { return fd_.get(); }
    /// The path the folder had when it was opened, ending in "/". It names the folder in
    /// texts and file names; nothing is reached through it.
    const QString& path() const { return path_; }
    /// The folder's owner, mode and link count now; nothing when it cannot be read.
    std::optional<struct stat> status() const;
    /// False once the folder has been removed from the file system.
    bool stillThere() const;

    /// A regular file of the folder as a listing sees it.
    struct Entry {
        QString name;
        qint64 size = 0;
        struct timespec modified {};
    };
    /// The regular files of the folder (not links, not folders), hidden ones included,
    /// sorted by name with letter case ignored.
    std::vector<Entry> files() const;
    /// The names of those files that match any of `patterns` (wildcards, case ignored).
    QStringList fileNames(const QStringList& patterns) const;

    /// Replaces `name` by a file holding exactly `bytes`: they go to a new temporary file,
    /// which is then renamed over `name` in one step. False on any failure; the temporary
    /// file is then removed and `name` keeps what it held.
    bool replaceFile(const QString& name, const QByteArray& bytes,
                     const FileWriteBody& body = {}) const;
    /// Deletes `name` when it is a regular file (never a link, a folder or what a link
    /// points at); true when it was deleted.
    bool removeFile(const QString& name) const;
    /// Renames `from` to `to`, replacing whatever `to` named (a link is replaced, never
    /// followed).
    bool renameFile(const QString& from, const QString& to) const;
    /// The whole content of the regular file `name`, when it is at most `maxBytes` long. A
    /// link, a pipe or a device reads as nothing, without waiting for a writer.
    std::optional<QByteArray> readFile(const QString& name, qint64 maxBytes) const;
    /// Opens the regular file `name` for writing with `flags` (O_APPEND, O_CREAT, O_EXCL);
    /// never through a link, never waiting on a pipe. A file it creates is the owner's alone.
    /// Invalid when `name` is missing (without O_CREAT) or no regular file.
    FileDescriptor openForWriting(const QString& name, int flags) const;
    /// Makes a new folder, private to the owner, named `prefix` + six random letters and
    /// digits; its name, or empty when none could be made.
    QString makeFreshFolder(const QString& prefix) const;

private:
    FileDescriptor fd_;
    QString path_;
};

/// The native bytes of a file name.
QByteArray nativeName(const QString& name);

} // namespace nimbuscope
