#pragma once

#include "support/Platform.h"

namespace nimbuscope {

/// Linux: getpwuid, $TMPDIR or /tmp/, the C library's zone offset, /proc/<pid>/statm; it
/// reports the NT family.
class LinuxPlatform final : public Platform {
public:
    std::optional<QString> userName() override;
    QString tempPath() override;
    TimeZoneInfo timeZoneInformation() override;
    std::optional<qint64> workingSetBytes(qint32 pid) override;
    OSVersionInfo versionEx() override;
    qint32 currentProcessId() override;
    std::optional<qint64> msSinceProcessStart() override;
    QString expandEnvironmentStrings(const QString& text) override;
};

} // namespace nimbuscope
