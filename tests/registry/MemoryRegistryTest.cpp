#include "registry/MemoryRegistry.h"
#include "registry/HiveRegistry.h"

#include <gtest/gtest.h>

using namespace nimbuscope;

namespace {

const QString kProduct = QStringLiteral("Software\\Calderwick\\Nimbuscope");
using Handle = RegistryApi::Handle;

class MemoryRegistryTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(registry.openHandleCount(), 0); }

    Handle create(qint32 root, const QString& path) {
        Handle h = 0;
        EXPECT_EQ(registry.createKey(root, path, regaccess::AllAccess, h), regstatus::Success);
        return h;
    }

    MemoryRegistry registry;
};

} // namespace

TEST_F(MemoryRegistryTest, TextCrossesAsAnsiBytesAndIsKeptAsUtf16) {
    const Handle h = create(HKEY_CURRENT_USER, kProduct);
    const QByteArray ansi("caf\xE9 \x80\0", 7); // é and € in Windows-1252
    ASSERT_EQ(registry.setValue(h, QStringLiteral("city"), REG_SZ, ansi), regstatus::Success);
    const QString stored = QStringLiteral("café €") + QChar(0);
    EXPECT_EQ(registry.hive(HKEY_CURRENT_USER)
                  .find({"Software", "Calderwick", "Nimbuscope"})
                  ->findValue(QStringLiteral("city"))
                  ->data,
              QByteArray(reinterpret_cast<const char*>(stored.utf16()), stored.size() * 2));
    qint32 type = 0;
    QByteArray data;
    quint32 size = 100;
    EXPECT_EQ(registry.queryValue(h, QStringLiteral("city"), type, &data, size),
              regstatus::Success);
    EXPECT_EQ(data, ansi);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(type, REG_SZ);
    registry.closeKey(h);
}

TEST(HiveRegistryText, ALeadingByteOrderMarkCharacterIsTextToo) {
    for (const QChar mark : {QChar(0xFEFF), QChar(0xFFFE)}) {
        const QString stored = mark + QStringLiteral("45") + QChar(0);
        EXPECT_EQ(ansiFromStored(REG_SZ, QByteArray(reinterpret_cast<const char*>(stored.utf16()),
                                                    stored.size() * 2)),
                  QByteArray("?45\0", 4))
            << int(mark.unicode());
    }
}

TEST_F(MemoryRegistryTest, AShortBufferLearnsTheSizeAndNoBufferAnswersIt) {
    const Handle h = create(HKEY_CURRENT_USER, kProduct);
    registry.setValue(h, QStringLiteral("n"), REG_BINARY, QByteArray("abcdef"));
    qint32 type = 0;
    QByteArray data;
    quint32 size = 2;
    EXPECT_EQ(registry.queryValue(h, QStringLiteral("n"), type, &data, size), regstatus::MoreData);
    EXPECT_EQ(size, 6u);
    EXPECT_TRUE(data.isEmpty());
    size = 0;
    EXPECT_EQ(registry.queryValue(h, QStringLiteral("n"), type, nullptr, size), regstatus::Success);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(registry.queryValue(h, QStringLiteral("missing"), type, nullptr, size),
              regstatus::FileNotFound);
    registry.closeKey(h);
}

TEST_F(MemoryRegistryTest, NamesIgnoreCaseAndKeepTheirFirstSpelling) {
    Handle h = create(HKEY_CURRENT_USER, kProduct);
    registry.setValue(h, QStringLiteral("ZipCode"), REG_DWORD, QByteArray(4, '\1'));
    registry.setValue(h, QStringLiteral("ZIPCODE"), REG_DWORD, QByteArray(4, '\2'));
    registry.closeKey(h);
    ASSERT_EQ(registry.openKey(HKEY_CURRENT_USER,
                               QStringLiteral("SOFTWARE\\calderwick\\NIMBUSCOPE"),
                               regaccess::QueryValue, h),
              regstatus::Success);
    QString name;
    EXPECT_EQ(registry.enumValue(h, 0, name), regstatus::Success);
    EXPECT_EQ(name, QStringLiteral("ZipCode"));
    EXPECT_EQ(registry.enumValue(h, 1, name), regstatus::NoMoreItems);
    registry.closeKey(h);
}

TEST_F(MemoryRegistryTest, AReadOnlyRootOpensForReadingOnly) {
    const Handle h = create(HKEY_LOCAL_MACHINE, kProduct);
    registry.closeKey(h);
    registry.setReadOnly(HKEY_LOCAL_MACHINE, true);
    const RegistryHive before = registry.hive(HKEY_LOCAL_MACHINE);
    Handle out = 0;
    EXPECT_EQ(registry.openKey(HKEY_LOCAL_MACHINE, kProduct, regaccess::AllAccess, out),
              regstatus::AccessDenied);
    EXPECT_EQ(registry.createKey(HKEY_LOCAL_MACHINE, kProduct + QStringLiteral("\\New"),
                                 regaccess::AllAccess, out),
              regstatus::AccessDenied);
    EXPECT_EQ(registry.deleteKey(HKEY_LOCAL_MACHINE, kProduct), regstatus::AccessDenied);
    ASSERT_EQ(registry.createKey(HKEY_LOCAL_MACHINE, kProduct, regaccess::QueryValue, out),
              regstatus::Success)
        << "an existing key opens for reading through create";
    EXPECT_EQ(registry.setValue(out, QStringLiteral("x"), REG_DWORD, QByteArray(4, '\0')),
              regstatus::AccessDenied)
        << "a handle without write rights cannot write";
    registry.closeKey(out);
    EXPECT_EQ(registry.hive(HKEY_LOCAL_MACHINE), before);
}

TEST_F(MemoryRegistryTest, KeysWithSubKeysAreNotDeletedAndMissingOnesAreNotFound) {
    registry.closeKey(create(HKEY_CURRENT_USER, kProduct + QStringLiteral("\\Child")));
    EXPECT_EQ(registry.deleteKey(HKEY_CURRENT_USER, kProduct), regstatus::AccessDenied);
    EXPECT_EQ(registry.deleteKey(HKEY_CURRENT_USER, kProduct + QStringLiteral("\\child")),
              regstatus::Success);
    EXPECT_EQ(registry.deleteKey(HKEY_CURRENT_USER, kProduct + QStringLiteral("\\Child")),
              regstatus::FileNotFound);
    EXPECT_EQ(registry.deleteKey(HKEY_CURRENT_USER, QString()), regstatus::AccessDenied);
}

TEST_F(MemoryRegistryTest, HandlesCloseOnceAndNoticeTheirKeyDeleted) {
    const Handle h = create(HKEY_CURRENT_USER, kProduct);
    EXPECT_EQ(registry.openHandleCount(), 1);
    registry.deleteKey(HKEY_CURRENT_USER, kProduct);
    QString name;
    EXPECT_EQ(registry.enumValue(h, 0, name), regstatus::KeyDeleted);
    EXPECT_EQ(registry.setValue(h, QStringLiteral("a"), REG_BINARY, {}), regstatus::KeyDeleted);
    EXPECT_EQ(registry.closeKey(h), regstatus::Success);
    EXPECT_EQ(registry.closeKey(h), regstatus::InvalidHandle);
    Handle out = 0;
    EXPECT_EQ(registry.openKey(qint32(0x80000003u), QString(), regaccess::QueryValue, out),
              regstatus::InvalidHandle);
}

TEST_F(MemoryRegistryTest, AnOpenKeyServesAsRootForPathsBelowIt) {
    const Handle parent = create(HKEY_CURRENT_USER, QStringLiteral("Software"));
    Handle child = 0;
    ASSERT_EQ(registry.createKey(qint32(parent), QStringLiteral("Calderwick\\Nimbuscope"),
                                 regaccess::AllAccess, child),
              regstatus::Success);
    registry.closeKey(child);
    registry.closeKey(parent);
    EXPECT_NE(registry.hive(HKEY_CURRENT_USER).find({"software", "calderwick", "nimbuscope"}),
              nullptr);
}

TEST_F(MemoryRegistryTest, NamesAHiveFileCannotHoldAreRefused) {
    Handle h = 0;
    EXPECT_EQ(
        registry.createKey(HKEY_CURRENT_USER, QStringLiteral("a\nb"), regaccess::AllAccess, h),
        regstatus::InvalidParameter);
    h = create(HKEY_CURRENT_USER, kProduct);
    EXPECT_EQ(registry.setValue(h, QStringLiteral("two\nlines"), REG_SZ, QByteArray(1, '\0')),
              regstatus::InvalidParameter);
    registry.closeKey(h);
}

TEST_F(MemoryRegistryTest, SubKeysAndValuesEnumerateInTheOrderWritten) {
    for (const char* name : {"b", "a", "c"}) {
        registry.closeKey(create(HKEY_CURRENT_USER, kProduct + u'\\' + QLatin1String(name)));
    }
    Handle h = 0;
    ASSERT_EQ(registry.openKey(HKEY_CURRENT_USER, kProduct, regaccess::QueryValue, h),
              regstatus::Success);
    QString name;
    EXPECT_EQ(registry.enumKey(h, 0, name), regstatus::AccessDenied) << "needs enumerate rights";
    registry.closeKey(h);
    ASSERT_EQ(registry.openKey(HKEY_CURRENT_USER, kProduct, regaccess::EnumerateSubKeys, h),
              regstatus::Success);
    QStringList names;
    for (quint32 i = 0; registry.enumKey(h, i, name) == regstatus::Success; ++i) {
        names.append(name);
    }
    EXPECT_EQ(names, QStringList({"b", "a", "c"}));
    registry.closeKey(h);
}
