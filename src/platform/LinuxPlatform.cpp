#include "platform/LinuxPlatform.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <ctime>
#include <pwd.h>
#include <unistd.h>

namespace nimbuscope {

std::optional<QString> LinuxPlatform::userName() {
    const passwd* pw = getpwuid(geteuid());
    if (pw == nullptr || pw->pw_name == nullptr) {
        return std::nullopt;
    }
    return QString::fromLocal8Bit(pw->pw_name);
}

QString LinuxPlatform::tempPath() {
    const QByteArray env = qgetenv("TMPDIR");
    if (!env.isEmpty()) {
        return QString::fromLocal8Bit(env);
    }
    return QStringLiteral("/tmp/");
}

TimeZoneInfo LinuxPlatform::timeZoneInformation() {
    // The C library gives the offset of local time east of UTC, daylight included; the
    // record wants minutes to add to local time to get UTC.
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    TimeZoneInfo info;
    const qint32 offsetMinutes = qint32(local.tm_gmtoff / 60);
    if (local.tm_isdst > 0) {
        info.answer = 2;
        info.daylightBias = -60;
        info.bias = -offsetMinutes + 60;
    } else {
        info.answer = 1;
        info.bias = -offsetMinutes;
    }
    return info;
}

std::optional<qint64> LinuxPlatform::workingSetBytes(qint32 pid) {
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 pages = fields.at(1).toLongLong(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return pages * sysconf(_SC_PAGESIZE);
}

OSVersionInfo LinuxPlatform::versionEx() {
    OSVersionInfo v;
    v.major = 5;
    v.minor = 1;
    v.build = 2600;
    v.platformId = OSVersionInfo::kNtPlatform;
    return v;
}

qint32 LinuxPlatform::currentProcessId() {
    return qint32(getpid());
}

std::optional<qint64> LinuxPlatform::msSinceProcessStart() {
    // The start time is field 22 of /proc/self/stat, in clock ticks after boot; the fields
    // are counted from after the command's closing parenthesis, as the command may hold any.
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    constexpr qsizetype kStartTimeField = 22 - 3;
    bool ok = false;
    const qint64 startTicks = fields.value(kStartTimeField).toLongLong(&ok);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    timespec boot{};
    if (!ok || ticksPerSecond <= 0 || clock_gettime(CLOCK_BOOTTIME, &boot) != 0) {
        return std::nullopt;
    }
    const qint64 nowMs = qint64(boot.tv_sec) * 1000 + boot.tv_nsec / 1000000;
    return nowMs - startTicks * 1000 / ticksPerSecond;
}

QString LinuxPlatform::expandEnvironmentStrings(const QString& text) {
    const QRegularExpression reference(QStringLiteral("%([^%]+)%"));
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString out;
    qsizetype last = 0;
    for (auto it = reference.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        out += env.contains(name) ? env.value(name) : m.captured(0);
        last = m.capturedEnd();
    }
    out += text.mid(last);
    return out;
}

} // namespace nimbuscope
