#pragma once

#include "platform/LinuxPlatform.h"
#include "support/Clock.h"
#include "support/Log.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace nimbuscope::fuzz {

/// A clock that never moves, so a run is repeatable from its input alone.
class FixedClock final : public Clock {
public:
    DateTime now() const override { return DateTime::fromParts(2026, 12, 5, 21, 35, 29); }
    void sleep(int) override {}
};

/// What the parsers need around them. The log points at a folder that does not exist, so
/// nothing is written however many errors an input provokes.
struct FuzzWorld {
    FuzzWorld() { log.setFolder(QStringLiteral("/nonexistent-nimbuscope-fuzz/")); }

    FixedClock clock;
    LinuxPlatform platform;
    Log log{clock, platform};
};

inline QByteArray bytesOf(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

/// A fresh private folder for files a harness has to write, under $TMPDIR (scripts/fuzz
/// points that at a folder it removes afterwards).
inline QString scratchFolder() {
    const QByteArray base = qgetenv("TMPDIR").isEmpty() ? QByteArray("/tmp") : qgetenv("TMPDIR");
    QByteArray pattern = base + "/nimbuscope-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        abort();
    }
    return QString::fromLocal8Bit(pattern);
}

/// Replaces the file at `path` with `bytes`; aborts when it cannot, as the run means nothing
/// then.
inline void writeScratchFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        abort();
    }
}

} // namespace nimbuscope::fuzz
