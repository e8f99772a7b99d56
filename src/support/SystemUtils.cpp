#include "support/SystemUtils.h"

#include "support/Clock.h"
#include "support/Error.h"
#include "support/FileUtils.h"
#include "support/Log.h"
#include "support/StringUtils.h"

namespace nimbuscope {

qint32 processMemoryKb(Platform& platform, qint32 pid) {
    if (platform.versionEx().platformId != OSVersionInfo::kNtPlatform) {
        return SystemUtils::kUnknownMemoryKb;
    }
    const std::optional<qint64> bytes = platform.workingSetBytes(pid);
    return bytes ? qint32(*bytes / 1024) : SystemUtils::kUnknownMemoryKb;
}

QString SystemUtils::getCurrentUserName() {
    return trapped(log_, QStringLiteral("getCurrentUserName"), QString(), [&] {
        const std::optional<QString> name = platform_.userName();
        return name ? StripTerminator(*name) : QString();
    });
}

QString SystemUtils::getTempFolder() {
    try {
        QString folder = platform_.tempPath();
        if (folder.isEmpty()) {
            return {};
        }
        folder = StripTerminator(folder);
        AdddDirSep(folder);
        return folder;
    } catch (...) {
        return QStringLiteral("/tmp/");
    }
}

double SystemUtils::biasOf(const TimeZoneInfo& tz) {
    const qint32 sum = tz.answer == 2 ? tz.bias + tz.daylightBias : tz.bias + tz.standardBias;
    return double(qint16(sum));
}

double SystemUtils::getGMTBias() {
    return trapped(log_, QStringLiteral("getGMTBias"), 0.0,
                   [&] { return biasOf(platform_.timeZoneInformation()); });
}

DateTime SystemUtils::getGMT() {
    try {
        log_.logDebug(QStringLiteral("getGMT - about to call GetTimeZoneInformation()"));
        const TimeZoneInfo tz = platform_.timeZoneInformation();
        const qint32 bias =
            tz.answer == 2 ? tz.bias + tz.daylightBias : tz.bias + tz.standardBias;
        log_.logDebug(QStringLiteral("getGMT - called GetTimeZoneInformation()"));
        const DateTime local = clock_.now();
        log_.logDebug(QStringLiteral("getGMT - about to do a date add + lbias=") +
                      QString::number(bias));
        const DateTime gmt = local.addMinutes(bias);
        if (gmt.isValid()) {
            log_.logDebug(QStringLiteral("getGMT - returned from DateAdd: ") + gmt.generalDate());
        } else {
            log_.logDebug(QStringLiteral("getGMT - returned NULL"));
        }
        return gmt;
    } catch (...) {
        log_.logDebug(QStringLiteral("getGMT - ERROR RAISED = "));
        return clock_.now();
    }
}

qint32 SystemUtils::GetProcessMemory(qint32 pid) {
    return trapped(log_, QStringLiteral("GetProcessMemory"), kUnknownMemoryKb,
                   [&] { return processMemoryKb(platform_, pid); });
}

bool SystemUtils::OSis9x() {
    return trapped(log_, QStringLiteral("OSis9x"), false, [&] {
        return platform_.versionEx().platformId != OSVersionInfo::kNtPlatform;
    });
}

} // namespace nimbuscope
