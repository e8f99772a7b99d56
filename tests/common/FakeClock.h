#pragma once

#include "platform/LinuxPlatform.h"
#include "support/Clock.h"

namespace nimbuscope::test {

/// A clock that moves only when told to; sleeping advances it.
class FakeClock final : public Clock {
public:
    explicit FakeClock(DateTime start = DateTime::fromParts(2026, 12, 5, 21, 35, 29))
        : now_(start) {}
    DateTime now() const override { return now_; }
    void sleep(int ms) override { advanceMs(ms); }

    void set(DateTime t) { now_ = t; }
    void advanceMs(qint64 ms) { now_ = now_.addSeconds(double(ms) / 1000.0); }
    void advanceSeconds(double s) { now_ = now_.addSeconds(s); }

private:
    DateTime now_;
};

/// System facts chosen by the test: NT family by default, a 9x family on request.
class FakePlatform final : public Platform {
public:
    std::optional<QString> user = QStringLiteral("tester");
    QString temp = QStringLiteral("/tmp");
    TimeZoneInfo tz;
    std::optional<qint64> workingSet = qint64(4096) * 1024;
    quint32 platformId = OSVersionInfo::kNtPlatform;
    qint32 pid = 4242;
    std::optional<qint64> sinceStartMs = 0;

    std::optional<QString> userName() override { return user; }
    QString tempPath() override { return temp; }
    TimeZoneInfo timeZoneInformation() override { return tz; }
    std::optional<qint64> workingSetBytes(qint32) override { return workingSet; }
    OSVersionInfo versionEx() override {
        OSVersionInfo v;
        v.platformId = platformId;
        return v;
    }
    qint32 currentProcessId() override { return pid; }
    std::optional<qint64> msSinceProcessStart() override { return sinceStartMs; }
    QString expandEnvironmentStrings(const QString& text) override {
        return real_.expandEnvironmentStrings(text);
    }

private:
    LinuxPlatform real_;
};

} // namespace nimbuscope::test
