#include "shell/MyMain.h"

#include "settings/RegistryValues.h"
#include "shell/CommandLine.h"
#include "shell/ModeOpeners.h"

#include "ShellRig.h"
#include "common/RegistryValue.h"

#include <limits>
#include <span>

using namespace nimbuscope;
using namespace nimbuscope::test;

namespace {

constexpr qint32 kMax = std::numeric_limits<qint32>::max();
constexpr qint32 kMin = std::numeric_limits<qint32>::min();
constexpr qint32 kStoredAnimationRate = 321;

/// Remembers every mode opened as "<mode> <window> <saver mode>", checking that the settings
/// were loaded first.
class RecordingOpeners final : public ModeOpeners {
public:
    void openSaver(SaverApp& app) override { record(app, "saver", 0); }
    bool openPreview(SaverApp& app, qint32 parentHandle) override {
        record(app, "preview", parentHandle);
        return previewStaysLoaded;
    }
    void openSetup(SaverApp& app) override { record(app, "setup", 0); }
    bool saverHasHost() const override { return false; }

    QStringList opened;
    bool previewStaysLoaded = true;

private:
    void record(SaverApp& app, const char* mode, qint32 handle) {
        EXPECT_EQ(app.settings().getAnimationRateMS(), kStoredAnimationRate) << mode;
        opened.append(QStringLiteral("%1 %2 %3").arg(mode).arg(handle).arg(app.gbSaverMode));
    }
};

using MyMainTest = ShellRig;

} // namespace

// Unknown switches end at once without a window; the password change opens none either. A
// loaded preview needs the event loop; the rest return to main.
TEST_F(MyMainTest, EachSwitchOpensItsModeWithTheSettingsLoaded) {
    storeRegistryValue(registry, HKEY_LOCAL_MACHINE,
                       QString::fromLatin1(RegistryValues::kProductKey),
                       QStringLiteral("animationRateMS"), kStoredAnimationRate);
    RecordingOpeners openers;
    std::optional<AfterEntry> after; // what main does next when the entry point returns
    // The status the program ended with, or nothing when the entry point returned.
    const auto start = [&](const char* cmd) {
        app.keepInstanceHold(nullptr); // each start is a process of its own
        after.reset();
        openers.opened.clear();
        app.gbSaverMode = false; // start-up must set it, whatever it was
        return endStatusOf([&] { after = Main(app, openers, QLatin1String(cmd)); });
    };
    using A = AfterEntry;
    const struct {
        const char* cmd;
        const char* opened; // empty: none
        std::optional<int> ended;
        std::optional<AfterEntry> after;
        std::vector<qint32> passwordOwner;
    } rows[] = {
        {"", "saver 0 1", {}, A::Return, {}},
        {"/s", "saver 0 1", {}, A::Return, {}},
        {"/p 1234", "preview 1234 0", {}, A::RunEventLoop, {}},
        {"/c", "setup 0 0", 0, {}, {}},
        {"-s", "", 0, {}, {}},
        {"/x", "", 0, {}, {}},
        {"/a 4711", "", {}, A::Return, {4711}},
        {"/a:99", "", {}, A::Return, {0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.cmd);
        passwords.changeCalls.clear();
        EXPECT_EQ(start(row.cmd), row.ended);
        EXPECT_EQ(after, row.after);
        EXPECT_EQ(openers.opened.join(u'|'), QLatin1String(row.opened));
        EXPECT_EQ(passwords.changeCalls, row.passwordOwner);
        EXPECT_TRUE(dialogs.messages.isEmpty());
    }
    openers.previewStaysLoaded = false;
    EXPECT_EQ(start("/p 42"), std::nullopt);
    EXPECT_EQ(after, AfterEntry::Return);
}

// Only the first two characters, lower-cased, choose the mode: a leading blank is one of them.
// A host's "--window-id ID" is taken out before the arguments are joined by single blanks.
TEST(CommandLine, TheFirstTwoCharactersChooseTheModeAndTheRestIsItsNumber) {
    using M = SaverMode;
    const struct {
        QStringList args;
        SaverMode mode;
        qint32 number;
        const char* windowId;
    } rows[] = {{{}, M::Saver, 0, ""},
                {{"/S"}, M::Saver, 0, ""},
                {{"/s", "1234"}, M::Saver, 1234, ""},
                {{"/P", "56", "78"}, M::Preview, 5678, ""},
                {{"/p1234"}, M::Preview, 1234, ""},
                {{"/pabc"}, M::Preview, 0, ""},
                {{"/C"}, M::Setup, 0, ""},
                {{"/c:1234"}, M::Setup, 0, ""},
                {{"/A", "99"}, M::Password, 99, ""},
                {{" /s"}, M::None, 0, ""},
                {{"-s"}, M::None, 0, ""},
                {{"/"}, M::None, 0, ""},
                {{"/x", "12"}, M::None, 12, ""},
                {{"/s", "--window-id", "0x1a00003"}, M::Saver, 0, "0x1a00003"},
                {{"-window-id", "77", "/p", "12"}, M::Preview, 12, "77"},
                {{"/s", "--window-id"}, M::Saver, 0, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args.join(QLatin1Char('|')).toStdString());
        const HostArguments host = takeHostArguments(row.args);
        const CommandLine line = parseCommandLine(commandLineFromArguments(host.rest));
        EXPECT_EQ(line.mode, row.mode);
        EXPECT_EQ(line.number, row.number);
        EXPECT_EQ(host.windowId, QLatin1String(row.windowId));
    }
    EXPECT_EQ(commandLineFromArguments({"/p", "", "12"}), QStringLiteral("/p  12"));
}

// Blanks are skipped, reading stops at the first other character, halves go to the even
// neighbour, digits are ASCII only, and beyond the 32-bit range the number is held at its ends.
TEST(CommandLine, TheNumberIsReadLenientlyAndHeldInThe32BitRange) {
    struct Row {
        const char* text;
        qint32 value;
    };
    const Row lenient[] = {
        {"", 0},         {"abc", 0},          {":1234", 0},
        {" 1234", 1234}, {"1\t2 3\t4", 1234}, {"1234abc", 1234},
        {"-42", -42},    {"- 42", -42},       {"+42", 42},
        {"--42", 0},     {"4-2", 4},          {"-", 0},
        {".6", 1},       {"1.4", 1},          {"1.2.3", 1},
        {"2.5", 2},      {"3.5", 4},          {"-2.5", -2},
        {"1e3", 1},      {"0x1F", 0},         {"\xd9\xa1\xd9\xa2", 0},
    };
    const Row range[] = {
        {"2147483647.4", kMax},  {"2147483647.5", kMax}, {"2147483648", kMax},
        {"-2147483648.5", kMin}, {"-2147483649", kMin},  {"4294967295", kMax},
    };
    for (const auto& rows : {std::span<const Row>(lenient), std::span<const Row>(range)}) {
        for (const Row& row : rows) {
            EXPECT_EQ(leadingNumber(QString::fromUtf8(row.text)), row.value) << row.text;
        }
    }
    // Longer than any double can hold, on either side of zero.
    EXPECT_EQ(leadingNumber(QString(400, QLatin1Char('9'))), kMax);
    EXPECT_EQ(leadingNumber(QLatin1Char('-') + QString(400, QLatin1Char('9'))), kMin);
    EXPECT_EQ(
        leadingNumber(QStringLiteral("0.") + QString(400, QLatin1Char('0')) + QLatin1Char('1')), 0);
}

TEST(CommandLine, AHostsWindowIsHexadecimalOrDecimalAndNothingElse) {
    const struct {
        const char* text;
        std::optional<quint32> id;
    } rows[] = {
        {"0X1A00007", 0x1a00007u},   {"27262983", 27262983u},      {" 0x2c00001\n", 0x2c00001u},
        {"4294967295", 0xffffffffu}, {"0x", std::nullopt},         {"0", std::nullopt},
        {"0x0", std::nullopt},       {"4294967296", std::nullopt}, {"0x100000000", std::nullopt},
        {"-5", std::nullopt},        {"+5", std::nullopt},         {"12 34", std::nullopt},
        {"0x1g", std::nullopt},      {"\xd9\xa3", std::nullopt}, // an Arabic-Indic digit
    };
    for (const auto& row : rows) {
        EXPECT_EQ(parseHostWindow(QString::fromUtf8(row.text)), row.id) << row.text;
    }
}
