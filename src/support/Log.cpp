#include "support/Log.h"

#include "support/Clock.h"
#include "support/FolderHandle.h"
#include "support/Platform.h"
#include "support/SystemUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbuscope {

namespace {

const QString kErrorLog = QStringLiteral("errorlog.txt");
const QString kKeptErrorLog = QStringLiteral("errorlog.1.txt");
const QString kDebugLog = QStringLiteral("debuglog.txt");

void writeAll(const FileDescriptor& fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) {
            return; // a full disk or a size limit loses the rest of the line
        }
        done += n;
    }
}

qint64 sizeOf(const FileDescriptor& fd) {
    struct stat info {};
    return ::fstat(fd.get(), &info) == 0 ? qint64(info.st_size) : 0;
}

} // namespace

Log::Log(const Clock& clock, Platform& platform) : clock_(clock), platform_(platform) {}

void Log::setFolder(const QString& folder) {
    folder_ = FolderHandle::open(folder);
}

QString Log::folder() const {
    return folder_ ? folder_->path() : QString();
}

QString Log::pathOf(const QString& fileName) const {
    return folder_ ? folder_->path() + fileName : QString();
}

QString Log::line(const QString& message, DateTime at) const {
    return at.generalDate() + QStringLiteral(" :: ") + message + QStringLiteral(" :: \r\n");
}

void Log::writeError(const QString& text, bool replace) {
    // Error logging is switched on by creating the file: it is never created here, except
    // afresh when a full one is put aside.
    FileDescriptor fd = folder_ ? folder_->openForWriting(kErrorLog, O_APPEND) : FileDescriptor();
    if (!fd.valid()) {
        return;
    }
    if (replace) {
        if (::ftruncate(fd.get(), 0) != 0) {
            return;
        }
    } else if (sizeOf(fd) > kErrorLogLimit) {
        if (!folder_->renameFile(kErrorLog, kKeptErrorLog)) {
            return;
        }
        fd = folder_->openForWriting(kErrorLog, O_APPEND | O_CREAT | O_EXCL);
        if (!fd.valid()) {
            return;
        }
    }
    writeAll(fd, text.toUtf8());
}

void Log::writeDebug(const QString& text, bool replace) {
    const FileDescriptor fd =
        folder_ ? folder_->openForWriting(kDebugLog, O_APPEND | O_CREAT) : FileDescriptor();
    if (!fd.valid() || (replace && ::ftruncate(fd.get(), 0) != 0)) {
        return;
    }
    writeAll(fd, text.toUtf8());
}

void Log::writeRepeats() {
    if (repeats_.count == 0) {
        return;
    }
    writeError(line(repeats_.message + QStringLiteral(" (repeated ") +
                        QString::number(repeats_.count) + QStringLiteral(" times)"),
                    repeats_.lastAt),
               false);
    repeats_.count = 0;
    repeats_.countedSince = repeats_.lastAt;
}

void Log::logError(const QString& message, bool& truncate) {
    try {
        if (firstErrorPending) {
            truncate = true;
            firstErrorPending = false;
        }
        const DateTime now = clock_.now();
        if (!truncate && !repeats_.message.isNull() && message == repeats_.message) {
            ++repeats_.count;
            repeats_.lastAt = now;
            const qint64 counted = wholeSecondsBetween(repeats_.countedSince, now);
            if (counted >= kRepeatSummarySeconds || counted < 0) {
                writeRepeats();
            }
            return;
        }
        writeRepeats();
        writeError(line(message, now), truncate);
        repeats_ = {message, 0, now, now};
    } catch (...) {
        // A lost log line is the whole consequence of a logging failure.
    }
}

void Log::flush() {
    try {
        writeRepeats();
    } catch (...) {
    }
}

void Log::logDebug(const QString& message, bool reset, bool force) {
    try {
        if (reset) {
            logIs9x = platform_.versionEx().platformId != OSVersionInfo::kNtPlatform;
            logProcessId = platform_.currentProcessId();
        }
        if (!debugLogOn && !(force && memoryLogOn)) {
            return;
        }
        // With the memory switch on, only memory lines reach the file.
        if (!message.contains(QStringLiteral("kb -")) && memoryLogOn) {
            return;
        }
        writeDebug(line(message, clock_.now()), reset);
    } catch (...) {
    }
}

void Log::logMemoryUse(const QString& message, bool reset) {
    try {
        if (reset) {
            logIs9x = false;
            logProcessId = platform_.currentProcessId();
        }
        if (logIs9x || !memoryLogOn) {
            return;
        }
        const qint32 kb = processMemoryKb(platform_, logProcessId);
        writeDebug(line(QString::number(kb) + QStringLiteral("kb - ") + message, clock_.now()),
                   reset);
    } catch (...) {
    }
}

} // namespace nimbuscope
