#pragma once

#include "common/FakeClock.h"
#include "common/TestWorld.h"
#include "support/Log.h"

#include <QByteArray>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QWidget>

namespace nimbuscope::test {

/// Private folders, a fixed clock and an error log that receives lines.
struct DisplayTestRig {
    DisplayTestRig() : log(clock, platform) {
        log.setFolder(world.root());
        world.writeFile(QStringLiteral("errorlog.txt"), {});
    }

    QByteArray errorLog() const { return world.readFile(QStringLiteral("errorlog.txt")); }
    QString dataPath(const QString& name) const {
        return world.root() + QStringLiteral("/data/") + name;
    }

    /// A frame file of `size` bytes ending in `tail`, written to the cache folder.
    QString frameFile(const QString& name, qsizetype size, const QByteArray& tail) const {
        QByteArray bytes(size - tail.size(), 'G');
        bytes += tail;
        return world.writeFile(QStringLiteral("data/") + name, bytes);
    }

    TestWorld world;
    FakeClock clock;
    FakePlatform platform;
    Log log;
};

/// Counts the paints a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
};

} // namespace nimbuscope::test
