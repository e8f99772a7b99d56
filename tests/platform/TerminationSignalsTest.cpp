#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QList>

#include <csignal>

#include <gtest/gtest.h>

using namespace nimbuscope;

TEST(TerminationSignals, ArriveFromTheEventLoopNeverInsideTheHandler) {
    TerminationSignals watcher;
    ASSERT_TRUE(watcher.installed());
    QList<int> received;
    QObject::connect(&watcher, &TerminationSignals::received,
                     [&](int number) { received.append(number); });
    for (const int number : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(number);
        received.clear();
        ASSERT_EQ(::raise(number), 0); // the process lives on: the handler only queues it
        EXPECT_TRUE(received.isEmpty());
        QCoreApplication::processEvents();
        EXPECT_EQ(received, QList<int>{number});
    }
}

TEST(TerminationSignals, OneWatcherAtATime) {
    {
        TerminationSignals first;
        ASSERT_TRUE(first.installed());
        const TerminationSignals second;
        EXPECT_FALSE(second.installed());
    }
    const TerminationSignals again;
    EXPECT_TRUE(again.installed());
}
