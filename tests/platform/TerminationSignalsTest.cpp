#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QList>
#include <gtest/gtest.h>

#include <csignal>

using namespace nimbuscope;

TEST(TerminationSignals, ArriveFromTheEventLoopNeverInsideTheHandler) {
    TerminationSignals watcher;
    ASSERT_TRUE(watcher.installed());
    QList<int> received;
    QObject::connect(&watcher, &TerminationSignals::received,
                     [&](int number) { received.append(number); });
    const TerminationSignals second;
    EXPECT_FALSE(second.installed()) << "one watcher at a time";
    for (const int number : {SIGTERM, SIGINT}) {
        received.clear();
        ASSERT_EQ(::raise(number), 0); // the process lives on: the handler only queues it
        EXPECT_TRUE(received.isEmpty());
        QCoreApplication::processEvents();
        EXPECT_EQ(received, QList<int>{number});
    }
}
