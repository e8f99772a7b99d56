#include "support/FrameTrace.h"

#include "common/TestWorld.h"

#include <gtest/gtest.h>

#include <time.h>
#include <unistd.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

QProcessEnvironment environmentWith(const QString& value) {
    QProcessEnvironment env;
    env.insert(QString::fromLatin1(FrameTrace::kEnvironmentVariable), value);
    return env;
}

} // namespace

TEST(FrameTraceTest, LinesCarryMonotonicTimesAHarnessCanCompareWithItsOwn) {
    EXPECT_EQ(FrameTrace::fromEnvironment(QProcessEnvironment()), nullptr);
    EXPECT_EQ(FrameTrace::fromEnvironment(environmentWith(QStringLiteral("/nonexistent/d/t"))),
              nullptr);
    TestWorld world;
    world.writeFile(QStringLiteral("trace.txt"), "earlier run\n");
    const double before = monotonicSeconds();
    {
        const auto trace =
            FrameTrace::fromEnvironment(environmentWith(world.root() + "/trace.txt"));
        ASSERT_NE(trace, nullptr);
        trace->passStarted();
        trace->frameShown(QStringLiteral("DS.p19r0"), 17, 920);
        trace->ended();
    }
    const double after = monotonicSeconds();
    const QStringList lines =
        QString::fromUtf8(world.readFile(QStringLiteral("trace.txt"))).split(u'\n');
    ASSERT_EQ(lines.size(), 5) << "appended, each line ended: " << lines.join(u'|').toStdString();
    // Copies of the saver sharing one trace are told apart by their process ids.
    const QString pid = QLatin1Char(' ') + QString::number(::getpid());
    const QStringList events = {"pass-start" + pid, "frame DS.p19r0 17 920" + pid, "end" + pid};
    double previous = before;
    for (int i = 0; i < events.size(); ++i) {
        const QString& line = lines[i + 1];
        bool ok = false;
        const double t = line.section(u' ', 0, 0).toDouble(&ok);
        ASSERT_TRUE(ok) << line.toStdString();
        EXPECT_TRUE(t >= previous && t <= after) << line.toStdString();
        EXPECT_EQ(line.section(u' ', 1), events[i]);
        previous = t;
    }
}
