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
    TestWorld world;
    const QString path = world.root() + QStringLiteral("/trace.txt");
    world.writeFile(QStringLiteral("trace.txt"), "earlier run\n");
    const double before = monotonicSeconds();
    {
        const auto trace = FrameTrace::fromEnvironment(environmentWith(path));
        ASSERT_NE(trace, nullptr);
        trace->passStarted();
        trace->frameShown(QStringLiteral("DS.p19r0"), 17, 920);
        trace->passEnded();
        trace->downloadsTaken();
        trace->ended();
    }
    const double after = monotonicSeconds();

    const QStringList lines =
        QString::fromUtf8(world.readFile(QStringLiteral("trace.txt"))).split(u'\n');
    ASSERT_EQ(lines.size(), 7) << "appended, each line ended: " << lines.join(u'|').toStdString();
    EXPECT_EQ(lines[0], "earlier run");
    // Copies of the saver sharing one trace are told apart by their process ids.
    const QString pid = QLatin1Char(' ') + QString::number(::getpid());
    const QStringList events = {"pass-start" + pid, "frame DS.p19r0 17 920" + pid, "pass-end" + pid,
                                "downloads" + pid, "end" + pid};
    double previous = before;
    for (int i = 0; i < events.size(); ++i) {
        const qsizetype space = lines[i + 1].indexOf(u' ');
        bool ok = false;
        const double t = lines[i + 1].left(space).toDouble(&ok);
        ASSERT_TRUE(ok) << lines[i + 1].toStdString();
        EXPECT_GE(t, previous);
        EXPECT_LE(t, after);
        EXPECT_EQ(lines[i + 1].mid(space + 1), events[i]);
        previous = t;
    }
}

TEST(FrameTraceTest, NoTraceUnlessAWritableFileIsNamed) {
    EXPECT_EQ(FrameTrace::fromEnvironment(QProcessEnvironment()), nullptr);
    EXPECT_EQ(FrameTrace::fromEnvironment(environmentWith({})), nullptr);
    EXPECT_EQ(FrameTrace::fromEnvironment(environmentWith(QStringLiteral("/nonexistent/dir/t"))),
              nullptr);
}
