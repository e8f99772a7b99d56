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

/// Takes the write bits off a file or folder for as long as it lives. The store decides from
/// the bits themselves, so this holds also for a test running as the superuser.
class ReadOnly {
public:
    explicit ReadOnly(QString path) : path_(std::move(path)) {
        struct stat st {};
        ::stat(QFile::encodeName(path_).constData(), &st);
        mode_ = st.st_mode & 07777;
        ::chmod(QFile::encodeName(path_).constData(), mode_ & ~mode_t(0222));
    }
    ~ReadOnly() { ::chmod(QFile::encodeName(path_).constData(), mode_); }

private:
    QString path_;
    mode_t mode_ = 0;
};

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

    std::optional<qint32> readDword(RegistryApi& api, qint32 root, const QString& name) {
        Handle h = 0;
        if (api.openKey(root, kProduct, regaccess::QueryValue, h) != regstatus::Success) {
            return std::nullopt;
        }
        qint32 type = 0;
        QByteArray data;
        quint32 size = 4;
        const long status = api.queryValue(h, name, type, &data, size);
        api.closeKey(h);
        if (status != regstatus::Success || data.size() != 4) {
            return std::nullopt;
        }
        qint32 value = 0;
        std::memcpy(&value, data.constData(), 4);
        return value;
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
    EXPECT_TRUE(world.readFile(paths.currentUserHive)
                    .startsWith("Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_CURRENT_USER\\Software]\n"));
    EXPECT_TRUE(
        world.readFile(paths.currentUserHive).contains("\"networkTimeout\"=dword:0000001e"));
    const QStringList left = QDir(QFileInfo(paths.currentUserHive).path())
                                 .entryList(QDir::Files | QDir::Hidden | QDir::System);
    EXPECT_EQ(left, QStringList({"HKEY_CURRENT_USER.reg", "HKEY_CURRENT_USER.reg.lock"}))
        << "no temporary file stays behind";
}

TEST_F(FileRegistryTest, EveryReadSeesWhatOthersWroteSinceTheKeyWasOpened) {
    ASSERT_EQ(writeDword(*registry, HKEY_CURRENT_USER, "a", 1), regstatus::Success);
    Handle h = 0;
    ASSERT_EQ(registry->openKey(HKEY_CURRENT_USER, kProduct, regaccess::QueryValue, h),
              regstatus::Success);
    const auto other = makeFileRegistry(paths);
    ASSERT_EQ(writeDword(*other, HKEY_CURRENT_USER, "b", 2), regstatus::Success);
    QString name;
    EXPECT_EQ(registry->enumValue(h, 1, name), regstatus::Success);
    EXPECT_EQ(name, QStringLiteral("b"));
    registry->closeKey(h);

    QByteArray text = world.readFile(paths.currentUserHive);
    text.replace("\"b\"=dword:00000002", "\"b\"=dword:00000007");
    world.writeFile(paths.currentUserHive, text);
    EXPECT_EQ(readDword(*registry, HKEY_CURRENT_USER, "b"), 7) << "a hand edit is seen too";
}

TEST_F(FileRegistryTest, ADamagedHiveReadsAsMissingAndIsKeptAsideByTheNextWrite) {
    const QByteArray damaged = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\So";
    world.writeFile(paths.currentUserHive, damaged);
    Handle h = 0;
    EXPECT_EQ(registry->openKey(HKEY_CURRENT_USER, QString(), regaccess::QueryValue, h),
              regstatus::BadFile);
    EXPECT_EQ(readDword(*registry, HKEY_CURRENT_USER, "a"), std::nullopt);
    EXPECT_EQ(world.readFile(paths.currentUserHive), damaged) << "reading changes nothing";

    ASSERT_EQ(writeDword(*registry, HKEY_CURRENT_USER, "a", 5), regstatus::Success);
    const QFileInfoList aside = QDir(QFileInfo(paths.currentUserHive).path())
                                    .entryInfoList({"HKEY_CURRENT_USER.reg.damaged-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(world.readFile(aside.first().filePath()), damaged);
    EXPECT_EQ(readDword(*registry, HKEY_CURRENT_USER, "a"), 5);
}

// Hand-made hives past the limits, each written in pieces so that the test itself stays
// small: each reads as damaged without being taken in whole, and the next write keeps it
// aside as it was and starts afresh.
TEST_F(FileRegistryTest, HivesPastTheLimitsAreDamagedAndCostLittle) {
    using Body = std::function<void(QFile&)>;
    const QByteArray section = "[HKEY_CURRENT_USER\\Software";
    const QByteArray longName = "\\" + QByteArray(255, 'k');
    const std::pair<const char*, Body> rows[] = {
        {"a key 40,000 deep",
         [](QFile& f) {
             f.write("[HKEY_CURRENT_USER");
             for (int i = 0; i < 40000; ++i) {
                 f.write("\\k");
             }
             f.write("]\n");
         }},
        {"10,000 sibling keys",
         [&](QFile& f) {
             for (int i = 0; i < 10000; ++i) {
                 f.write(section + "\\k" + QByteArray::number(i) + "]\n");
             }
         }},
        {"a 50 MB value",
         [&](QFile& f) {
             f.write(section + "]\n\"big\"=\"");
             for (int i = 0; i < 50; ++i) {
                 f.write(QByteArray(1 << 20, 'x'));
             }
             f.write("\"\n");
         }},
        {"a text that rewritten would pass the limit", // every key listed with its whole path
         [&](QFile& f) {
             f.write("[HKEY_CURRENT_USER");
             for (int i = 0; i < 500; ++i) {
                 f.write(longName);
             }
             f.write("]\n");
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
        ASSERT_EQ(writeDword(*registry, HKEY_CURRENT_USER, "a", 5), regstatus::Success);
        const QFileInfoList aside = QDir(folder).entryInfoList({"HKEY_CURRENT_USER.reg.damaged-*"});
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(aside.first().size(), size);
        EXPECT_EQ(readDword(*registry, HKEY_CURRENT_USER, "a"), 5);
        QFile::remove(aside.first().filePath());
    }
    constexpr long kPeakKb = 100 * 1024 * kSanitizerMemoryFactor;
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, kPeakKb) << "kilobytes at the peak";
}

TEST_F(FileRegistryTest, AnUnwritableMachineFolderRefusesWritesAndCreatesNothing) {
    const ReadOnly guard(world.configDir());
    EXPECT_EQ(writeDword(*registry, HKEY_LOCAL_MACHINE, "testtmp", 1), regstatus::AccessDenied);
    Handle h = 0;
    EXPECT_EQ(registry->openKey(HKEY_LOCAL_MACHINE, QString(), regaccess::AllAccess, h),
              regstatus::AccessDenied);
    EXPECT_EQ(registry->openKey(HKEY_LOCAL_MACHINE, QString(), regaccess::QueryValue, h),
              regstatus::Success)
        << "a missing hive is an empty one, readable";
    registry->closeKey(h);
    EXPECT_TRUE(
        QDir(world.configDir()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    EXPECT_EQ(writeDword(*registry, HKEY_CURRENT_USER, "a", 1), regstatus::Success);
}

TEST_F(FileRegistryTest, AReadOnlyHiveFileRefusesWritesAndStaysAsItIs) {
    ASSERT_EQ(writeDword(*registry, HKEY_LOCAL_MACHINE, "channelIDs", 18), regstatus::Success);
    const QByteArray before = world.readFile(paths.localMachineHive);
    const ReadOnly guard(paths.localMachineHive);
    EXPECT_EQ(writeDword(*registry, HKEY_LOCAL_MACHINE, "testtmp", 1), regstatus::AccessDenied);
    EXPECT_EQ(registry->deleteKey(HKEY_LOCAL_MACHINE, kProduct), regstatus::AccessDenied);
    EXPECT_EQ(world.readFile(paths.localMachineHive), before);
    EXPECT_EQ(readDword(*registry, HKEY_LOCAL_MACHINE, "channelIDs"), 18);
}

TEST_F(FileRegistryTest, ADamagedHiveOnAnUnwritableRootIsLeftAlone) {
    const QByteArray damaged = "not a hive";
    world.writeFile(paths.localMachineHive, damaged);
    const ReadOnly guard(QFileInfo(paths.localMachineHive).path());
    EXPECT_EQ(writeDword(*registry, HKEY_LOCAL_MACHINE, "x", 1), regstatus::AccessDenied);
    EXPECT_EQ(world.readFile(paths.localMachineHive), damaged);
    EXPECT_EQ(QDir(QFileInfo(paths.localMachineHive).path()).entryList(QDir::Files),
              QStringList({"HKEY_LOCAL_MACHINE.reg"}));
}

TEST_F(FileRegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kCount = 80;
    QProcess first;
    QProcess second;
    first.start(QStringLiteral(NIMBUSCOPE_REGISTRY_WRITER),
                {paths.currentUserHive, "first", QString::number(kCount)});
    second.start(QStringLiteral(NIMBUSCOPE_REGISTRY_WRITER),
                 {paths.currentUserHive, "second", QString::number(kCount)});
    ASSERT_TRUE(first.waitForFinished(120000));
    ASSERT_TRUE(second.waitForFinished(120000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().constData();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().constData();
    int missing = 0;
    for (int i = 0; i < kCount; ++i) {
        for (const char* prefix : {"first", "second"}) {
            const QString name = QLatin1String(prefix) + u'-' + QString::number(i);
            missing += readDword(*registry, HKEY_CURRENT_USER, name) == i ? 0 : 1;
        }
    }
    EXPECT_EQ(missing, 0);
    EXPECT_TRUE(parseHive(world.readFile(paths.currentUserHive), "HKEY_CURRENT_USER").has_value());
}
