#include "support/Log.h"

#include "platform/Platform.h"
#include "support/Clock.h"
#include "support/SystemUtils.h"

#include <QFile>
#include <QFileInfo>

namespace nimbuscope {

namespace {
const QString kErrorLog = QStringLiteral("errorlog.txt");
const QString kDebugLog = QStringLiteral("debuglog.txt");
// The logs name the user's locations and addresses: a file the log creates is the user's alone.
constexpr QFileDevice::Permissions kCreatedLogPermissions =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;
} // namespace

Log::Log(const Clock& clock, Platform& platform) : clock_(clock), platform_(platform) {}

QString Log::pathOf(const QString& fileName) const {
    if (folder_.endsWith(QLatin1Char('/')) || folder_.endsWith(QLatin1Char('\\'))) {
        return folder_ + fileName;
    }
    return folder_ + QLatin1Char('/') + fileName;
}

QString Log::line(const QString& message) const {
    return clock_.now().generalDate() + QStringLiteral(" :: ") + message +
           QStringLiteral(" :: \r\n");
}

void Log::write(const QString& fileName, const QString& text, bool replace) {
    QFile file(pathOf(fileName));
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly | (replace ? QIODevice::Truncate : QIODevice::Append);
    if (file.open(mode, kCreatedLogPermissions)) {
        file.write(text.toUtf8());
    }
}

void Log::logError(const QString& message, bool& truncate) {
    try {
        if (firstErrorPending) {
            truncate = true;
            firstErrorPending = false;
        }
        const QString text = line(message);
        const QFileInfo info(pathOf(kErrorLog));
        // Error logging is switched on by creating the file; a grown file is left alone.
        if (!info.exists() || !info.isFile() || info.size() > kErrorLogLimit) {
            return;
        }
        write(kErrorLog, text, truncate);
    } catch (...) {
        // A lost log line is the whole consequence of a logging failure.
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
        const QString text = line(message);
        // With the memory switch on, only memory lines reach the file.
        if (!message.contains(QStringLiteral("kb -")) && memoryLogOn) {
            return;
        }
        write(kDebugLog, text, reset);
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
        write(kDebugLog, line(QString::number(kb) + QStringLiteral("kb - ") + message), reset);
    } catch (...) {
    }
}

} // namespace nimbuscope
