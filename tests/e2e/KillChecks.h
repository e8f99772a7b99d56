#pragma once

#include "common/TestWorld.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>

namespace nimbuscope {
class RegistryApi;
}

namespace nimbuscope::test {

/// What a kill test met, for its report.
struct KillCounts {
    int kills = 0;
    int startsAnimated = 0;
    int locationChanges = 0;
    int framesDecoded = 0;
    int unavailableSkipped = 0;
    int leftovers = 0; // half-written cache files left by a kill (cleared by the next pass)
};

/// The files a killed saver and a killed registry writer leave behind, and what they must
/// still hold: the hives of a TestWorld and the saver's cache folder in it.
class KillChecks {
public:
    explicit KillChecks(const TestWorld& world) : world_(world) {}

    /// Both hives with the service settings (registry editor lines) and a location.
    void writeInitial(const QString& serviceLines, const QString& zip);
    /// A new zip code in both hives, with the found location forgotten, so that the next
    /// start searches it and downloads all its frames.
    void changeLocation(const QString& zip);
    /// The registry writer that wrote values "<prefix>-<i mod 16>" printed `printed`: each
    /// number a value whose write had returned.
    void noteSaved(const QString& prefix, const QByteArray& printed);
    qint64 writesConfirmed() const { return writesConfirmed_; }

    /// What is wrong with the files now; empty when all is well.
    QStringList check(KillCounts& counts) const;

private:
    std::unique_ptr<RegistryApi> registry() const;

    struct Range {
        qint32 atLeast = 0;
        qint32 atMost = 0;
    };
    void checkHives(QStringList& problems) const;
    void checkFrames(QStringList& problems, KillCounts& counts) const;

    const TestWorld& world_;
    QString zip_;
    QMap<QString, QString> service_;
    QMap<QString, Range> saved_;
    qint64 writesConfirmed_ = 0;
};

} // namespace nimbuscope::test
