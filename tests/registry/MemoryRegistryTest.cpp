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

TEST_F(MemoryRegistryTest, NamesIgnoreCaseKeepTheirFirstSpellingAndMustFitAHiveFile) {
    Handle h = create(HKEY_CURRENT_USER, kProduct);
    registry.setValue(h, QStringLiteral("ZipCode"), REG_DWORD, QByteArray(4, '\1'));
    registry.setValue(h, QStringLiteral("ZIPCODE"), REG_DWORD, QByteArray(4, '\2'));
    EXPECT_EQ(registry.setValue(h, QStringLiteral("two\nlines"), REG_SZ, QByteArray(1, '\0')),
              regstatus::InvalidParameter);
    registry.closeKey(h);
    EXPECT_EQ(
        registry.createKey(HKEY_CURRENT_USER, QStringLiteral("a\nb"), regaccess::AllAccess, h),
        regstatus::InvalidParameter);
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
    registry.closeKey(create(HKEY_LOCAL_MACHINE, kProduct));
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

TEST_F(MemoryRegistryTest, HandlesCloseOnceAndNoticeTheirKeyDeleted) {
    const Handle h = create(HKEY_CURRENT_USER, kProduct);
    registry.deleteKey(HKEY_CURRENT_USER, kProduct);
    QString name;
    EXPECT_EQ(registry.enumValue(h, 0, name), regstatus::KeyDeleted);
    EXPECT_EQ(registry.setValue(h, QStringLiteral("a"), REG_BINARY, {}), regstatus::KeyDeleted);
    EXPECT_EQ(registry.closeKey(h), regstatus::Success);
    EXPECT_EQ(registry.closeKey(h), regstatus::InvalidHandle);
}
