#include "KillChecks.h"

#include "e2e/kit/SaverWorld.h"

#include "registry/RegistryApi.h"
#include "registry/RegistryHiveFormat.h"
#include "settings/RegistryValues.h"
#include "settings/cRegistry.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <optional>

namespace nimbuscope::test {

namespace {

constexpr int kRingNames = 16;
// A frame file under this size, or ending in a line feed, is the server's radar-unavailable
// answer: the display list never takes it, so it is never shown.
constexpr qint64 kSmallestShownFrame = 6000;
const QString kLocationFound[] = {QStringLiteral("templateURL"), QStringLiteral("cityState"),
                                  QStringLiteral("currentConditionsURL")};
const QString kProductKey = QString::fromLatin1(RegistryValues::kProductKey);

cRegistry valueAt(RegistryApi& api, qint32 root, const QString& name) {
    cRegistry reg(api);
    reg.setClassKey(root);
    reg.setSectionKey(kProductKey);
    reg.setValueKey(name);
    return reg;
}

bool wholeImage(const QByteArray& bytes) {
    // The file must end where a GIF or JPEG ends, and decode.
    const bool ends = bytes.endsWith('\x3b') || bytes.endsWith("\xff\xd9");
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    return ends && !reader.read().isNull();
}

} // namespace

std::unique_ptr<RegistryApi> KillChecks::registry() const {
    return makeFileRegistry(
        {e2e::userHive(world_), e2e::machineHive(world_),
         world_.configDir() + QStringLiteral("/nimbuscope/registry/HKEY_CLASSES_ROOT.reg")});
}

void KillChecks::writeInitial(const QString& serviceLines, const QString& zip) {
    zip_ = zip;
    for (const QString& line : serviceLines.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QStringLiteral("\"=\""));
        if (parts.size() == 2) {
            service_.insert(parts[0].mid(1), parts[1].chopped(1));
        }
    }
    e2e::writeHives(world_, (serviceLines + QStringLiteral("\"zipcode\"=\"%1\"\n").arg(zip) +
                             QStringLiteral("\"locationMode\"=dword:00000001\n"))
                                .toUtf8());
}

void KillChecks::changeLocation(const QString& zip) {
    zip_ = zip;
    const auto api = registry();
    for (const qint32 root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        cRegistry zipcode = valueAt(*api, root, QStringLiteral("zipcode"));
        zipcode.setValueType(REG_SZ);
        zipcode.setValue(zip);
        for (const QString& name : kLocationFound) {
            cRegistry found = valueAt(*api, root, name);
            found.setValueType(REG_SZ);
            found.setValue(QString()); // empty reads as never found
        }
    }
}

void KillChecks::noteSaved(const QString& prefix, const QByteArray& printed) {
    qint32 last = -1;
    for (const QByteArray& line : printed.split('\n')) {
        bool ok = false;
        const qint32 i = line.trimmed().toInt(&ok);
        last = ok ? std::max(last, i) : last;
    }
    writesConfirmed_ += last + 1;
    for (qint32 i = std::max(0, last - kRingNames + 1); i <= last; ++i) {
        // The write after the last one printed may have landed before the kill.
        const qint32 inFlight = last + 1;
        saved_.insert(prefix + u'-' + QString::number(i % kRingNames),
                      {i, inFlight % kRingNames == i % kRingNames ? inFlight : i});
    }
}

QStringList KillChecks::check(KillCounts& counts) const {
    QStringList problems;
    checkHives(problems);
    checkFrames(problems, counts);
    return problems;
}

void KillChecks::checkHives(QStringList& problems) const {
    const QString userHive = e2e::userHive(world_);
    const QList<std::pair<QString, QString>> hives = {
        {userHive, QStringLiteral("HKEY_CURRENT_USER")},
        {e2e::machineHive(world_), QStringLiteral("HKEY_LOCAL_MACHINE")}};
    std::optional<RegistryHive> user;
    for (const auto& [path, root] : hives) {
        HiveParseError error;
        std::optional<RegistryHive> hive = parseHive(world_.readFile(path), root, &error);
        if (path == userHive) {
            user = hive;
        }
        if (!hive) {
            problems << QStringLiteral("%1 does not parse (line %2: %3)")
                            .arg(path)
                            .arg(error.line)
                            .arg(error.message);
        }
        const QStringList aside =
            QDir(QFileInfo(path).path()).entryList({QFileInfo(path).fileName() + ".damaged-*"});
        if (!aside.isEmpty()) {
            problems << QStringLiteral("hive put aside as damaged: ") + aside.join(u' ');
        }
    }
    const auto api = registry();
    for (const qint32 root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        if (valueAt(*api, root, QStringLiteral("zipcode")).value().toString() != zip_) {
            problems << QStringLiteral("zip code lost in root %1").arg(root);
        }
        for (auto it = service_.begin(); it != service_.end(); ++it) {
            if (valueAt(*api, root, it.key()).value().toString() != it.value()) {
                problems << QStringLiteral("%1 lost in root %2").arg(it.key()).arg(root);
            }
        }
    }
    // The writer's values are read from the parsed file: one registry read per value would
    // parse the whole hive each time.
    const RegistryKey* product = user ? user->find(kProductKey.split(u'\\')) : nullptr;
    for (auto it = saved_.begin(); it != saved_.end(); ++it) {
        const RegistryValue* v = product ? product->findValue(it.key()) : nullptr;
        const bool dword = v != nullptr && v->type == REG_DWORD && v->data.size() == 4;
        const qint32 n = dword ? qFromLittleEndian<qint32>(v->data.constData()) : -1;
        if (!dword || n < it->atLeast || n > it->atMost) {
            problems << QStringLiteral("saved %1 reads %2, not %3..%4")
                            .arg(it.key())
                            .arg(n)
                            .arg(it->atLeast)
                            .arg(it->atMost);
        }
    }
}

void KillChecks::checkFrames(QStringList& problems, KillCounts& counts) const {
    QDirIterator it(world_.tmp() + QStringLiteral("/Nimbuscope"), QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        if (file.fileName().startsWith(QLatin1String(".nimbuscope-write-"))) {
            ++counts.leftovers;
            continue;
        }
        if (!file.fileName().endsWith(QLatin1String(".noaa"), Qt::CaseInsensitive)) {
            continue;
        }
        QFile frame(file.filePath());
        const QByteArray bytes = frame.open(QIODevice::ReadOnly) ? frame.readAll() : QByteArray();
        if (bytes.size() < kSmallestShownFrame || bytes.endsWith('\n')) {
            ++counts.unavailableSkipped;
        } else if (wholeImage(bytes)) {
            ++counts.framesDecoded;
        } else {
            problems << QStringLiteral("broken frame ") + file.filePath();
        }
    }
}

} // namespace nimbuscope::test
