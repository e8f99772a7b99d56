#include "settings/cRegistry.h"

#include "registry/MemoryRegistry.h"
#include "support/Error.h"

#include "common/RegistryValue.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

using namespace nimbuscope;

namespace {

const QString kProduct = QStringLiteral("Software\\Calderwick\\Nimbuscope");

std::optional<Error> raised(const std::function<void()>& body) {
    try {
        body();
    } catch (const Error& e) {
        return e;
    }
    return std::nullopt;
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

class cRegistryTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(registry.openHandleCount(), 0) << "keys left open"; }

    cRegistry at(qint32 root, const QString& value, qint32 type = REG_SZ,
                 const QString& key = kProduct) {
        return test::registryValue(registry, root, key, value, type);
    }

    void putRaw(const QString& name, qint32 type, const QByteArray& data) {
        RegistryApi::Handle h = 0;
        ASSERT_EQ(registry.createKey(HKEY_CURRENT_USER, kProduct, regaccess::AllAccess, h),
                  regstatus::Success);
        ASSERT_EQ(registry.setValue(h, name, type, data), regstatus::Success);
        registry.closeKey(h);
    }

    const RegistryValue* stored(const QString& name, qint32 root = HKEY_CURRENT_USER) {
        const RegistryKey* key = registry.hive(root).find(splitKeyPath(kProduct));
        return key != nullptr ? key->findValue(name) : nullptr;
    }

    MemoryRegistry registry;
};

} // namespace

TEST_F(cRegistryTest, AMissingValueReadsAsDefaultAndTheEmptyDefaultIsZeroAndEmptyText) {
    putRaw("present", REG_DWORD, bytes({1, 0, 0, 0}));
    const std::pair<const char*, cRegistry> rows[] = {
        {"missing value", at(HKEY_CURRENT_USER, "absent")},
        {"missing key", at(HKEY_CURRENT_USER, "present", REG_SZ, kProduct + "\\Nowhere")},
        {"unknown root", at(qint32(0x80000005u), "present")},
    };
    for (auto [name, reg] : rows) {
        const QVariant v = reg.value();
        EXPECT_FALSE(v.isValid()) << name;
        EXPECT_TRUE(variantIsEmptyOrZero(v)) << name;
        EXPECT_EQ(variantToInt32(v), 0) << name;
        EXPECT_EQ(variantToText(v), QString()) << name;
        reg.setDefault(QStringLiteral("fallback"));
        EXPECT_EQ(reg.value(), QVariant(QStringLiteral("fallback"))) << name;
    }
}

TEST_F(cRegistryTest, ReadsEachTypeAsTheSystemReturnsIt) {
    qputenv("NIMBUSCOPE_REG_TEST", "/srv/radar");
    struct Row {
        qint32 type;
        QByteArray data;
        QVariant expected;
    };
    const Row rows[] = {
        {REG_SZ, QByteArray("Z\xFCrich \x80\0", 9), QStringLiteral("Zürich €")},
        {REG_MULTI_SZ, QByteArray("a\0b\0\0", 5), QString::fromLatin1("a\0b\0", 4)},
        {REG_EXPAND_SZ, QByteArray("%NIMBUSCOPE_REG_TEST%/data %NOPE_X%\0", 36),
         QStringLiteral("/srv/radar/data %NOPE_X%")},
        {REG_DWORD, bytes({0x78, 0x56, 0x34, 0x12}), qint32(0x12345678)},
        {REG_DWORD, bytes({0xfe, 0xff, 0xff, 0xff}), qint32(-2)},
        {REG_DWORD_BIG_ENDIAN, bytes({0x12, 0x34, 0x56, 0x78}), qint32(0x12345678)},
        {REG_BINARY, QByteArray("ab"), QByteArray("ab\0", 3)},
        {REG_NONE, QByteArray(), QByteArray(1, '\0')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        putRaw("v", row.type, row.data);
        cRegistry reg = at(HKEY_CURRENT_USER, "v", REG_SZ);
        EXPECT_EQ(reg.value(), row.expected);
        EXPECT_EQ(reg.ValueType(), row.type) << "the type found is kept";
    }
    qunsetenv("NIMBUSCOPE_REG_TEST");
}

TEST_F(cRegistryTest, TwoPercentSignsApartMakeTextExpandable) {
    const std::pair<const char*, qint32> rows[] = {
        {"%TEMP%\\x", REG_EXPAND_SZ}, {"%%%", REG_EXPAND_SZ}, {"100%", REG_SZ}, {"%%", REG_SZ},
        {"50%% off", REG_SZ},         {"", REG_SZ},
    };
    for (const auto& [text, type] : rows) {
        for (const qint32 asked : {REG_SZ, REG_EXPAND_SZ}) {
            at(HKEY_CURRENT_USER, "t", asked).setValue(QString::fromUtf8(text));
            ASSERT_NE(stored("t"), nullptr);
            EXPECT_EQ(stored("t")->type, type) << text;
            const QString withNul = QString::fromUtf8(text) + QChar(0);
            EXPECT_EQ(stored("t")->data, QByteArray(reinterpret_cast<const char*>(withNul.utf16()),
                                                    withNul.size() * 2));
        }
    }
}

TEST_F(cRegistryTest, NumbersAreWrittenAsLittleEndianDwordsFromShortOrLongOnly) {
    cRegistry reg = at(HKEY_CURRENT_USER, "n", REG_DWORD);
    reg.setValue(qint32(-2));
    EXPECT_EQ(stored("n")->data, bytes({0xfe, 0xff, 0xff, 0xff}));
    reg.setValue(qint16(7));
    EXPECT_EQ(stored("n")->data, bytes({7, 0, 0, 0}));
    cRegistry big = at(HKEY_CURRENT_USER, "b", REG_DWORD_BIG_ENDIAN);
    big.setValue(qint32(0x01020304));
    EXPECT_EQ(stored("b")->type, REG_DWORD);
    EXPECT_EQ(stored("b")->data, bytes({4, 3, 2, 1}));

    for (const QVariant& other :
         {QVariant(QStringLiteral("42")), QVariant(qint64(5)), QVariant(2.5)}) {
        EXPECT_FALSE(raised([&] { reg.setValue(other); })) << "nothing is raised";
        EXPECT_EQ(stored("n")->data, bytes({7, 0, 0, 0})) << "nothing is written";
        EXPECT_FALSE(reg.testWrite(other)) << "and a test write does not claim success";
    }
}

TEST_F(cRegistryTest, EveryOperationClosesItsKeysAlsoWhenItFails) {
    putRaw("v", REG_DWORD, bytes({1, 0, 0, 0}));
    registry.setReadOnly(HKEY_LOCAL_MACHINE, true);
    const auto refused = raised([&] { at(HKEY_LOCAL_MACHINE, "zipcode").setValue("12345"); });
    ASSERT_TRUE(refused.has_value()) << "a refused write raises for the caller's trap";
    EXPECT_EQ(refused->number(), cRegistry::kErrFailed);
    const std::pair<const char*, std::function<void(cRegistry&)>> operations[] = {
        {"KeyExists", [](cRegistry& r) { r.KeyExists(); }},
        {"ValueExists", [](cRegistry& r) { r.ValueExists(); }},
        {"CreateKey", [](cRegistry& r) { r.CreateKey(); }},
        {"DeleteValue", [](cRegistry& r) { r.DeleteValue(); }},
        {"value", [](cRegistry& r) { r.value(); }},
        {"setValue", [](cRegistry& r) { r.setValue(qint32(3)); }},
        {"testWrite", [](cRegistry& r) { r.testWrite(qint32(3)); }},
    };
    for (const qint32 root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (const char* value : {"v", "missing"}) {
            for (const auto& [name, operation] : operations) {
                cRegistry reg = at(root, value, REG_DWORD);
                raised([&] { operation(reg); });
                EXPECT_EQ(registry.openHandleCount(), 0) << name << " " << value << " " << root;
            }
        }
    }
}
