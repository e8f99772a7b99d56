#include "setup/SetupChoices.h"

#include <gtest/gtest.h>

using namespace nimbuscope;

TEST(SetupChoices, MemoryEstimateFollowsBothFormulasAndRoundsHalvesToEven) {
    const struct {
        qint32 minutes;
        qint32 ms;
        qint32 mb;
    } rows[] = {
        {60, 250, 6},   {360, 100, 62}, {60, 200, 16},
        {360, 1000, 7}, {60, 240, 6},   {60, 239, 16}, // the formula changes at 240 ms
        {125, 250, 6},                                 // 6.5 rounds down to the even 6
        {375, 250, 8},                                 // 7.5 rounds up to the even 8
        {0, 100, 7},    {90, 100, 21},                 // 13.824 + 7
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.minutes << " min at " << row.ms << " ms");
        EXPECT_EQ(estimateMemoryUsage(row.minutes, row.ms), row.mb);
    }
}

TEST(SetupChoices, FiveDigitZipCodesOnly) {
    const struct {
        const char* text;
        bool ok;
    } rows[] = {
        {"64106", true},  {"00501", true},  {"6410", false},  {"641066", false},
        {"6410a", false}, {"+6410", false}, {"-6410", false}, {"641.0", false},
        {"6 410", false}, {"", false},      {"1e410", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(isFiveDigitZip(QString::fromLatin1(row.text)), row.ok);
    }
    EXPECT_FALSE(isFiveDigitZip(QStringLiteral("\u0661\u0662\u0663\u0664\u0665"))); // other digits
}
