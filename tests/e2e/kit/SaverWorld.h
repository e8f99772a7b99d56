#pragma once

#include "common/TestWorld.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace nimbuscope::e2e {

// Where the programs under test keep their settings and their cache in a TestWorld.

QString userHive(const test::TestWorld& world);
QString machineHive(const test::TestWorld& world);
/// Both hives holding the saver's settings section with `lines` (registry editor value
/// lines); the programs use the machine one, which the test may write.
void writeHives(const test::TestWorld& world, const QByteArray& lines);
/// One line of a frame trace (NIMBUSCOPE_FRAME_TRACE): "<time> <event> ... <pid>".
struct TraceLine {
    double time = 0; // seconds on the monotonic clock
    QByteArray event;
    qint64 pid = 0;
};
/// The trace in `path` in the order of its times; empty when there is none.
QList<TraceLine> readTrace(const QString& path);
/// Seconds on the monotonic clock, as the trace has them.
double monotonicNow();

/// The cache files of every user whose names match `pattern`, with their folders.
QStringList cachedFiles(const test::TestWorld& world, const QString& pattern);

} // namespace nimbuscope::e2e
