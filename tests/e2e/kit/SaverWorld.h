#pragma once

#include "common/TestWorld.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace nimbuscope::e2e {

// Where the programs under test keep their settings and their cache in a TestWorld.

QString userHive(const test::TestWorld& world);
QString machineHive(const test::TestWorld& world);
/// Both hives holding the saver's settings section with `lines` (registry editor value
/// lines); the programs use the machine one, which the test may write.
void writeHives(const test::TestWorld& world, const QByteArray& lines);
/// The cache files of every user whose names match `pattern`, with their folders.
QStringList cachedFiles(const test::TestWorld& world, const QString& pattern);

} // namespace nimbuscope::e2e
