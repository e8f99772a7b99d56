#include "support/FileUtils.h"

#include "support/Error.h"

#include <QDir>
#include <QFileInfo>

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
        return !dir.entryList({name}, QDir::AllEntries | QDir::Hidden | QDir::System |
                                          QDir::NoDotAndDotDot)
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

} // namespace nimbuscope
