#include "support/FileUtils.h"

#include "support/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

namespace nimbuscope {

namespace {
bool endsWithSeparator(const QString& s) {
    return s.endsWith(QLatin1Char('/')) || s.endsWith(QLatin1Char('\\'));
}
} // namespace

bool FileExists(Log& log, const QString& path) {
    return trapped(log, QStringLiteral("FileExists"), false, [&] {
        if (path.isEmpty()) {
            return false;
        }
        const QFileInfo info(path);
        const QString name = info.fileName();
        if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?'))) {
            return info.exists();
        }
        const QDir dir = info.dir();
        return !dir.entryList({name},
                              QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                    .isEmpty();
    });
}

void AdddDirSep(QString& path) {
    const QString trimmed = path.trimmed();
    if (!endsWithSeparator(trimmed)) {
        qsizetype end = path.size();
        while (end > 0 && path.at(end - 1) == QLatin1Char(' ')) {
            --end;
        }
        path = path.left(end) + kDirSep;
    }
}

QString joinPath(const QString& folder, const QString& name) {
    if (folder.isEmpty() || endsWithSeparator(folder)) {
        return folder + name;
    }
    return folder + kDirSep + name;
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes) {
    // Opening a pipe for reading would wait for a writer, deaf to everything else.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0) {
        return std::nullopt;
    }
    QFile file;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    return file.read(maxBytes);
}

void ignoreFileSizeLimitSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace nimbuscope
