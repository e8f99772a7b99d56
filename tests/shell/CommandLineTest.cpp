#include "shell/CommandLine.h"

#include <gtest/gtest.h>

#include <limits>

using namespace nimbuscope;

namespace {

constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qint32 kMin = std::numeric_limits<qint32>::min();

struct Row {
    const char* cmd;
    SaverMode mode;
    qint32 number;
};

} // namespace

namespace nimbuscope {
void PrintTo(SaverMode m, std::ostream* os) {
    *os << "SaverMode(" << int(m) << ")";
}
} // namespace nimbuscope

TEST(CommandLine, OnlyTheFirstTwoCharactersLowerCasedChooseTheMode) {
    const Row rows[] = {
        {"", SaverMode::Saver, 0},
        {"/s", SaverMode::Saver, 0},
        {"/S", SaverMode::Saver, 0},
        {"/saver", SaverMode::Saver, 0},
        {"/s 1234", SaverMode::Saver, 1234},
        {"/sanything at all", SaverMode::Saver, 0},
        {"/p 1234", SaverMode::Preview, 1234},
        {"/P 5678", SaverMode::Preview, 5678},
        {"/p1234", SaverMode::Preview, 1234},
        {"/p", SaverMode::Preview, 0},
        {"/pabc", SaverMode::Preview, 0},
        {"/c", SaverMode::Setup, 0},
        {"/C", SaverMode::Setup, 0},
        {"/c:1234", SaverMode::Setup, 0},
        {"/a", SaverMode::Password, 0},
        {"/A 99", SaverMode::Password, 99},
        // A leading blank is one of the two characters; no other prefix is understood.
        {" /s", SaverMode::None, 0},
        {"-s", SaverMode::None, 0},
        {"s", SaverMode::None, 0},
        {"/", SaverMode::None, 0},
        {"\t/s", SaverMode::None, 0},
        {"//s", SaverMode::None, 0},
        {"/x 12", SaverMode::None, 12},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cmd);
        const CommandLine line = parseCommandLine(QString::fromUtf8(row.cmd));
        EXPECT_EQ(line.mode, row.mode);
        EXPECT_EQ(line.number, row.number);
        EXPECT_EQ(line.switchText, QString::fromUtf8(row.cmd).left(2).toLower());
    }
}

TEST(CommandLine, TheNumberIsReadLenientlyAndHeldInThe32BitRange) {
    const struct {
        const char* text;
        qint32 value;
    } rows[] = {
        {"", 0},
        {"   ", 0},
        {"abc", 0},
        {":1234", 0},
        {"1234", 1234},
        {" 1234", 1234},
        {"\t1234", 1234},
        {"12 34", 1234}, // blanks are skipped inside the number too
        {"1\t2 3\t4", 1234},
        {"1234abc", 1234}, // reading stops at the first other character
        {"12:34", 12},
        {"-42", -42},
        {"- 42", -42},
        {"+42", 42},
        {"--42", 0}, // one sign only
        {"4-2", 4},
        {"-", 0},
        {"+", 0},
        {".", 0},
        {"7.", 7},
        {".6", 1},
        {"1.4", 1},
        {"1.6", 2},
        {"1.2.3", 1}, // the second point stops the number
        {"2.5", 2},   // halves go to the even neighbour
        {"3.5", 4},
        {"-2.5", -2},
        {"-0.4", 0},
        {"1e3", 1}, // no exponent
        {"0x1F", 0},
        {"\xd9\xa1\xd9\xa2", 0}, // digits of other scripts are not decimal digits here
        {"007", 7},
        // Beyond the 32-bit range: held at its ends.
        {"2147483647", kMax},
        {"2147483647.4", kMax},
        {"2147483647.5", kMax},
        {"2147483648", kMax},
        {"99999999999999999999", kMax},
        {"-2147483648", kMin},
        {"-2147483648.5", kMin},
        {"-2147483649", kMin},
        {"-99999999999999999999", kMin},
        {"4294967295", kMax},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(leadingNumber(QString::fromUtf8(row.text)), row.value);
    }
    // Longer than any double can hold, on either side of zero.
    EXPECT_EQ(leadingNumber(QString(400, QLatin1Char('9'))), kMax);
    EXPECT_EQ(leadingNumber(QLatin1Char('-') + QString(400, QLatin1Char('9'))), kMin);
    EXPECT_EQ(
        leadingNumber(QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QLatin1Char('1')), 0);
}

// A host's "--window-id ID" is taken out before the rest is joined.
TEST(CommandLine, ArgumentsAreJoinedBySingleBlanks) {
    const struct {
        QStringList args;
        SaverMode mode;
        qint32 number;
        const char* windowId;
    } rows[] = {
        {{}, SaverMode::Saver, 0, ""},
        {{""}, SaverMode::Saver, 0, ""},
        {{"/p", "1234"}, SaverMode::Preview, 1234, ""},
        {{"/P", "56", "78"}, SaverMode::Preview, 5678, ""},
        {{" /s"}, SaverMode::None, 0, ""},
        {{"/s", "--window-id", "0x1a00003"}, SaverMode::Saver, 0, "0x1a00003"},
        {{"--window-id", "0x1a00003"}, SaverMode::Saver, 0, "0x1a00003"},
        {{"-window-id", "77", "/p", "12"}, SaverMode::Preview, 12, "77"},
        {{"/s", "--window-id"}, SaverMode::Saver, 0, ""},
    };
    for (const auto& row : rows) {
        const HostArguments host = takeHostArguments(row.args);
        const QString cmd = commandLineFromArguments(host.rest);
        SCOPED_TRACE(row.args.join(QLatin1Char('|')).toStdString());
        const CommandLine line = parseCommandLine(cmd);
        EXPECT_EQ(line.mode, row.mode);
        EXPECT_EQ(line.number, row.number);
        EXPECT_EQ(host.windowId, QLatin1String(row.windowId));
    }
    EXPECT_EQ(commandLineFromArguments({"/p", "", "12"}), QStringLiteral("/p  12"));
}

TEST(CommandLine, HostWindowIsHexadecimalOrDecimalAndNothingElse) {
    const struct {
        const char* text;
        std::optional<quint32> id;
    } rows[] = {
        {"0x1a00007", 0x1a00007u},    {"0X1A00007", 0x1a00007u},
        {"27262983", 27262983u},      {" 0x2c00001\n", 0x2c00001u},
        {"4294967295", 0xffffffffu},  {"0xffffffff", 0xffffffffu},
        {"", std::nullopt},           {"0x", std::nullopt},
        {"0", std::nullopt},          {"0x0", std::nullopt},
        {"4294967296", std::nullopt}, {"0x100000000", std::nullopt},
        {"-5", std::nullopt},         {"+5", std::nullopt},
        {"12 34", std::nullopt},      {"0x1g", std::nullopt},
        {"window", std::nullopt},     {"\xd9\xa3", std::nullopt}, // an Arabic-Indic digit
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(parseHostWindow(QString::fromUtf8(row.text)), row.id);
    }
}
