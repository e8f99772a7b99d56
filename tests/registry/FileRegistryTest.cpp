#include "platform/Folders.h"
#include "registry/RegistryApi.h"
#include "registry/RegistryHiveFormat.h"

#include "common/MemoryBounds.h"
#include "common/TestWorld.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QtEndian>
#include <gtest/gtest.h>

#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

const QString kProduct = QStringLiteral("Software\\Calderwick\\Nimbuscope");
using Handle = RegistryApi::Handle;

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 0777;
}

class FileRegistryTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(registry->openHandleCount(), 0); }

    long writeDword(RegistryApi& api, qint32 root, const QString& name, qint32 value) {
        Handle h = 0;
        long status = api.createKey(root, kProduct, regaccess::AllAccess, h);
        if (status == regstatus::Success) {
            status = api.setValue(h, name, REG_DWORD,
                                  QByteArray(reinterpret_cast<const char*>(&value), 4));
            api.closeKey(h);
        }
        return status;
    }
    std::optional<qint32> readDword(qint32 root, const QString& name) {
        Handle h = 0;
        qint32 type = 0;
        QByteArray data;
        quint32 size = 4;
        if (registry->openKey(root, kProduct, regaccess::QueryValue, h) == regstatus::Success) {
            registry->queryValue(h, name, type, &data, size);
            registry->closeKey(h);
        }
        return data.size() == 4 ? std::optional(qFromLittleEndian<qint32>(data.constData()))
                                : std::nullopt;
    }

    TestWorld world;
    // The hives where the programs look for them, in this test's folders.
    RegistryPaths paths =
        Folders::fromEnvironment(QProcessEnvironment::systemEnvironment(), {}, ::geteuid())
            .registryPaths();
    std::unique_ptr<RegistryApi> registry = makeFileRegistry(paths);
};

} // namespace

TEST_F(FileRegistryTest, TheUserHiveIsPrivateTheMachineHiveReadableByAll) {
    ASSERT_EQ(writeDword(*registry, HKEY_CURRENT_USER, "networkTimeout", 30), regstatus::Success);
    ASSERT_EQ(writeDword(*registry, HKEY_LOCAL_MACHINE, "channelIDs", 18), regstatus::Success);
    EXPECT_EQ(modeOf(paths.currentUserHive), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(paths.currentUserHive).path()), 0700u);
    EXPECT_EQ(modeOf(paths.localMachineHive), 0644u);
    EXPECT_TRUE(world.readFile(paths.currentUserHive).contains("[HKEY_CURRENT_USER\\Software]\n"));
    EXPECT_EQ(QDir(QFileInfo(paths.currentUserHive).path())
                  .entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList({"HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"}))
        << "no temporary file stays behind";
    // Another process's writes and hand edits are seen by the next read.
    const auto other = makeFileRegistry(paths);
    ASSERT_EQ(writeDword(*other, HKEY_CURRENT_USER, "b", 2), regstatus::Success);
    QByteArray text = world.readFile(paths.currentUserHive);
    world.writeFile(paths.currentUserHive, text.replace("=dword:00000002", "=dword:00000007"));
    EXPECT_EQ(readDword(HKEY_CURRENT_USER, "b"), 7);
}

// Each reads as damaged without being taken in whole, reading changes nothing, and the next
// write keeps it aside as it was and starts afresh.
TEST_F(FileRegistryTest, DamagedHivesAndHivesPastTheLimitsAreKeptAsideAndCostLittle) {
    using Body = std::function<void(QFile&)>;
    const std::pair<const char*, Body> rows[] = {
        {"cut in a section", [](QFile& f) { f.write("[HKEY_CURRENT_USER\\So"); }},
        {"a 50 MB value",
         [](QFile& f) {
             f.write("[HKEY_CURRENT_USER\\Software]\n\"big\"=\"");
             for (int i = 0; i < 50; ++i) {
                 f.write(QByteArray(1 << 20, 'x'));
             }
             f.write("\"\n");
         }},
        {"a text that rewritten would pass the limit", // every key listed with its whole path
         [](QFile& f) {
             f.write("[HKEY_CURRENT_USER" + ("\\" + QByteArray(255, 'k')).repeated(500) + "]\n");
         }},
    };
    const QString folder = QFileInfo(paths.currentUserHive).path();
    for (const auto& [name, body] : rows) {
        SCOPED_TRACE(name);
        QDir().mkpath(folder);
        QFile file(paths.currentUserHive);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("Windows Registry Editor Version 5.00\n\n");
        body(file);
        file.close();
        const qint64 size = QFileInfo(paths.currentUserHive).size();

        Handle h = 0;
        EXPECT_EQ(registry->openKey(HKEY_CURRENT_USER, QString(), regaccess::QueryValue, h),
                  regstatus::BadFile);
        EXPECT_EQ(readDword(HKEY_CURRENT_USER, "a"), std::nullopt);
        EXPECT_EQ(QFileInfo(paths.currentUserHive).size(), size) << "reading changes nothing";
        ASSERT_EQ(writeDword(*registry, HKEY_CURRENT_USER, "a", 5), regstatus::Success);
        const QFileInfoList aside = QDir(folder).entryInfoList({"HKEY_CURRENT_USER.reg.damaged-*"});
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(aside.first().size(), size);
        EXPECT_EQ(readDword(HKEY_CURRENT_USER, "a"), 5);
        QFile::remove(aside.first().filePath());
    }
    constexpr long kPeakKb = 100 * 1024 * kSanitizerMemoryFactor;
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, kPeakKb) << "kilobytes at the peak";
}

TEST_F(FileRegistryTest, AReadOnlyHiveOrFolderRefusesWritesAndStaysAsItIs) {
    ASSERT_EQ(writeDword(*registry, HKEY_LOCAL_MACHINE, "channelIDs", 18), regstatus::Success);
    const QByteArray before = world.readFile(paths.localMachineHive);
    // The store goes by the bits themselves, so this holds also for the superuser.
    const QByteArray hive = QFile::encodeName(paths.localMachineHive);
    ASSERT_EQ(::chmod(hive.constData(), 0444), 0);
    EXPECT_EQ(writeDword(*registry, HKEY_LOCAL_MACHINE, "testtmp", 1), regstatus::AccessDenied);
    EXPECT_EQ(registry->deleteKey(HKEY_LOCAL_MACHINE, kProduct), regstatus::AccessDenied);
    ::chmod(hive.constData(), 0644);
    EXPECT_EQ(world.readFile(paths.localMachineHive), before);
    EXPECT_EQ(readDword(HKEY_LOCAL_MACHINE, "channelIDs"), 18);

    // A damaged hive in a folder that cannot be written is left alone.
    world.writeFile(paths.localMachineHive, "not a hive");
    const QByteArray folder = QFile::encodeName(QFileInfo(paths.localMachineHive).path());
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    EXPECT_EQ(writeDword(*registry, HKEY_LOCAL_MACHINE, "x", 1), regstatus::AccessDenied);
    ::chmod(folder.constData(), 0755);
    EXPECT_EQ(world.readFile(paths.localMachineHive), "not a hive");
    EXPECT_TRUE(QDir(QString::fromLocal8Bit(folder)).entryList({"*.damaged-*"}).isEmpty());
}

TEST_F(FileRegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kCount = 80;
    QProcess writers[2];
    const char* prefixes[] = {"first", "second"};
    for (int w = 0; w < 2; ++w) {
        writers[w].start(QStringLiteral(NIMBUSCOPE_REGISTRY_WRITER),
                         {paths.currentUserHive, prefixes[w], QString::number(kCount)});
    }
    for (QProcess& writer : writers) {
        ASSERT_TRUE(writer.waitForFinished(120000));
        EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().constData();
    }
    for (int i = 0; i < kCount; ++i) {
        for (const char* prefix : prefixes) {
            const QString name = QLatin1String(prefix) + u'-' + QString::number(i);
            ASSERT_EQ(readDword(HKEY_CURRENT_USER, name), i) << name.toStdString();
        }
    }
    EXPECT_TRUE(parseHive(world.readFile(paths.currentUserHive), "HKEY_CURRENT_USER").has_value());
}
