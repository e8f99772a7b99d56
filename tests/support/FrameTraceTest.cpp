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
    const auto trace = FrameTrace::fromEnvironment(environmentWith(world.root() + "/trace.txt"));
    ASSERT_NE(trace, nullptr);
    trace->frameShown(QStringLiteral("DS.p19r0"), 17, 920);
    const double after = monotonicSeconds();
    const QStringList lines =
        QString::fromUtf8(world.readFile(QStringLiteral("trace.txt"))).split(u'\n');
    ASSERT_EQ(lines.size(), 3) << "appended, each line ended: " << lines.join(u'|').toStdString();
    // Copies of the saver sharing one trace are told apart by their process ids.
    EXPECT_EQ(lines[1].section(u' ', 1), "frame DS.p19r0 17 920 " + QString::number(::getpid()));
    const double t = lines[1].section(u' ', 0, 0).toDouble();
    EXPECT_TRUE(t >= before && t <= after) << lines[1].toStdString();
}
