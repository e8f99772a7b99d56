#include "registry/RegistryHiveFormat.h"
#include "registry/RegistryApi.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace nimbuscope;

namespace {

const QString kUser = QStringLiteral("HKEY_CURRENT_USER");
const QStringList kProduct = {QStringLiteral("Software"), QStringLiteral("Calderwick"),
                              QStringLiteral("Nimbuscope")};

QByteArray fixture(const char* name) {
    QFile f(QStringLiteral(NIMBUSCOPE_REGISTRY_FIXTURES) + u'/' + QLatin1String(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray utf16z(const QString& text) {
    const QString t = text + QChar(0);
    return QByteArray(reinterpret_cast<const char*>(t.utf16()), t.size() * 2);
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

} // namespace

TEST(HiveFormat, ReadsEveryValueTypeOfTheEditorsFormatAndWritesTheSameTextBack) {
    const auto hive = parseHive(fixture("every-value-type.reg"), kUser);
    ASSERT_TRUE(hive.has_value());
    const RegistryKey* key = hive->find(kProduct);
    ASSERT_NE(key, nullptr);
    const struct {
        QString name;
        qint32 type;
        QByteArray data;
    } rows[] = {
        {QString(), REG_SZ, utf16z(QStringLiteral("default text"))},
        {QStringLiteral("zipcode"), REG_SZ, utf16z(QStringLiteral("12345"))},
        {QStringLiteral("networkTimeout"), REG_DWORD, bytes({0x1e, 0, 0, 0})},
        {QStringLiteral("homeDirectory"), REG_EXPAND_SZ, utf16z(QStringLiteral("%HOME%/d"))},
        {QStringLiteral("blob"), REG_BINARY, bytes({1, 2, 0xff})},
        {QStringLiteral("lines"), REG_MULTI_SZ, bytes({'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0})},
        {QStringLiteral("bigEndian"), REG_DWORD_BIG_ENDIAN, bytes({0, 0, 1, 0})},
        {QStringLiteral("nothing"), REG_NONE, QByteArray()},
        {QStringLiteral("quote\"and\\slash"), REG_SZ, utf16z(QStringLiteral("C:\\dir\\\"x\""))},
        {QStringLiteral("qword"), 0xb, bytes({1, 0, 0, 0, 0, 0, 0, 0})},
    };
    ASSERT_EQ(key->values.size(), std::size(rows));
    for (qsizetype i = 0; i < key->values.size(); ++i) {
        SCOPED_TRACE(rows[i].name.toStdString());
        EXPECT_EQ(key->values[i].name, rows[i].name);
        EXPECT_EQ(key->values[i].type, rows[i].type);
        EXPECT_EQ(key->values[i].data, rows[i].data);
    }
    const RegistryKey* empty = key->findSubKey(QStringLiteral("EMPTY"));
    ASSERT_NE(empty, nullptr) << "a key without values is still a key";
    EXPECT_EQ(empty->name, QStringLiteral("Empty"));
    EXPECT_EQ(writeHive(*hive), fixture("every-value-type.reg")) << "written back as it was read";

    // CRLF lines, continued hex lines and a string's final backslash; parents are implied.
    const auto crlf = parseHive(fixture("crlf-continued-hex-and-trailing-backslash.reg"), kUser);
    ASSERT_TRUE(crlf.has_value());
    key = crlf->find(kProduct);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->findValue(QStringLiteral("blob"))->data, bytes({0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(key->findValue(QStringLiteral("path"))->data, utf16z(QStringLiteral("C:\\dir\\")));
    EXPECT_NE(crlf->find({QStringLiteral("software")}), nullptr);
}

TEST(HiveFormat, EveryValueSurvivesWritingAndReadingExactly) {
    RegistryHive hive(QStringLiteral("HKEY_LOCAL_MACHINE"));
    RegistryKey& key = hive.ensure(kProduct);
    const QString unpaired = QString(QChar(0xD800)) + u'x';
    const std::pair<qint32, QByteArray> rows[] = {
        {REG_SZ, utf16z(QStringLiteral("two\r\nlines"))}, // no line breaks in quotes
        {REG_SZ, utf16z(QStringLiteral("in") + QChar(0) + QStringLiteral("side"))}, // inner NUL
        {REG_SZ, utf16z(unpaired)}, // not valid UTF-16
        {REG_SZ, bytes({0x41})},    // odd length
        {REG_SZ, utf16z(QStringLiteral("Zürich ☂ \"quoted\" \\"))},
        {REG_SZ, utf16z(QChar(0xFEFF) + QStringLiteral("45"))}, // not a byte order mark
        {REG_SZ, utf16z(QChar(0xFFFE) + QStringLiteral("45"))}, // nor a swapped one
        {REG_EXPAND_SZ, utf16z(QStringLiteral("%TEMP%\\x"))},
        {REG_DWORD, bytes({1, 2, 3})}, // short dword data
        {REG_NONE, bytes({0, 0})},
        {qint32(0xFFFF0001u), bytes({9})}, // unknown type numbers are kept
    };
    int n = 0;
    for (const auto& [type, data] : rows) {
        key.putValue(QStringLiteral("v%1").arg(n++), type, data);
    }
    key.putValue(QString(), REG_SZ, utf16z(QStringLiteral("default")));
    key.putValue(QStringLiteral("\\\"[]="), REG_DWORD, bytes({5, 0, 0, 0}));
    hive.ensure({QStringLiteral("odd ] name"), QStringLiteral(" spaced ")});
    EXPECT_EQ(parseHive(writeHive(hive), hive.root.name), hive) << writeHive(hive).constData();
}

TEST(HiveFormat, AcceptsTheEditorsOwnUtf16FilesAUtf8ByteOrderMarkAndAnEmptyFile) {
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n"
                                        "[HKEY_CURRENT_USER\\Software]\r\n\"city\"=\"Zürich\"\r\n");
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    for (const QByteArray& file : {utf16, QByteArray("\xEF\xBB\xBF") + text.toUtf8()}) {
        const auto hive = parseHive(file, kUser);
        ASSERT_TRUE(hive.has_value());
        EXPECT_EQ(hive->find({QStringLiteral("Software")})->values.at(0).data,
                  utf16z(QStringLiteral("Zürich")));
    }
    EXPECT_EQ(parseHive(QByteArray(" \n"), kUser), RegistryHive(kUser)) << "empty file";
}

TEST(HiveFormat, DamagedFilesAreRefusedWholeNamingTheLine) {
    const QByteArray head = "Windows Registry Editor Version 5.00\n\n";
    const QByteArray section = head + "[HKEY_CURRENT_USER\\Software]\n";
    // A whole file in the editor's UTF-16 but for a value name that cannot be written back.
    const QString surrogate = QString::fromLatin1(section + "\"a") + QChar(0xDEDE) + "\"=\"b\"\n";
    const QByteArray unpaired = QByteArray("\xFF\xFE", 2) + utf16z(surrogate).chopped(2);
    const auto nested = [&](int depth) {
        return head + "[HKEY_CURRENT_USER" + QByteArray("\\k").repeated(depth) + "]\n";
    };
    QByteArray siblings = head;
    for (int i = 0; i <= 4096; ++i) {
        siblings += "[HKEY_CURRENT_USER\\k" + QByteArray::number(i) + "]\n";
    }
    const QByteArray text32k = section + "\"a\"=\"" + QByteArray(32768, 'x') + "\"\n";
    const std::pair<const char*, QByteArray> rows[] = {
        {"no header", QByteArray("[HKEY_CURRENT_USER\\Software]\n")},
        {"value before any section", head + "\"a\"=\"b\"\n"},
        {"section of another root", head + "[HKEY_LOCAL_MACHINE\\Software]\n"},
        {"key deletion", head + "[-HKEY_CURRENT_USER\\Software]\n"},
        {"empty key name", head + "[HKEY_CURRENT_USER\\a\\\\b]\n"},
        {"value deletion", section + "\"a\"=-\n"},
        {"unknown escape", section + "\"a\"=\"x\\ny\"\n"},
        {"unterminated string", section + "\"a\"=\"abc\n"},
        {"text after string", section + "\"a\"=\"abc\" junk\n"},
        {"missing equals", section + "\"a\" \"abc\"\n"},
        {"bad hex byte", section + "\"a\"=hex:01,xz\n"},
        {"three-digit hex byte", section + "\"a\"=hex:100\n"},
        {"dword of nine digits", section + "\"a\"=dword:000000001\n"},
        {"dword not hex", section + "\"a\"=dword:1g\n"},
        {"bad hex type", section + "\"a\"=hex(q):00\n"},
        {"continuation past the end", section + "\"a\"=hex:00,\\\n"},
        {"not UTF-8", section + "\"a\"=\"\xC3\x28\"\n"},
        {"truncated UTF-16", QByteArray("\xFF\xFE\x57", 3)},
        {"unpaired surrogate in UTF-16", unpaired},
        {"keys nested 513 deep", nested(513)},
        {"4097 keys", siblings},
        {"a value of 64 KiB and 2 bytes", text32k},
        {"a file over 1 MiB", section + "; " + QByteArray(1 << 20, 'x') + "\n"},
    };
    for (const auto& [name, text] : rows) {
        HiveParseError error;
        EXPECT_FALSE(parseHive(text, kUser, &error).has_value()) << name;
        EXPECT_FALSE(error.message.isEmpty()) << name;
    }
    siblings.chop(siblings.size() - siblings.lastIndexOf('['));
    for (const QByteArray& atLimit :
         {nested(512), siblings, text32k.left(text32k.size() - 3) + "\"\n"}) {
        EXPECT_TRUE(parseHive(atLimit, kUser).has_value()) << "within the limits";
    }
    HiveParseError error;
    EXPECT_FALSE(parseHive(section + "\"ok\"=dword:00000001\n\"bad\"=zz\n", kUser, &error));
    EXPECT_EQ(error.line, 5) << "the error names its line";
}
