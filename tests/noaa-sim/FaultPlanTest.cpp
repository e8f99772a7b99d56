#include "noaa-sim/FaultPlan.h"

#include <gtest/gtest.h>

using namespace nimbuscope::noaasim;

TEST(FaultKinds, ParseWithTheirArgumentsAndRoundTrip) {
    const struct {
        const char* text;
        FaultKind kind;
        int amount;
    } rows[] = {
        {"delay:250", FaultKind::Delay, 250},
        {"drop", FaultKind::Drop, 0},
        {"error", FaultKind::Error, 0},
        {"truncate", FaultKind::Truncate, 0},
        {"unavailable", FaultKind::Unavailable, 0},
        {"unavailable:lf", FaultKind::Unavailable, 1},
        {"trickle:2000", FaultKind::Trickle, 2000},
        {"garbage", FaultKind::Garbage, 0},
        {"content", FaultKind::Content, 0},
        {"problem:503", FaultKind::Problem, 503},
        {"forbidden", FaultKind::Forbidden, 0},
        {"wms-error", FaultKind::WmsError, 0},
        {"header-bomb", FaultKind::HeaderBomb, 0},
        {"slow-headers", FaultKind::SlowHeaders, 0},
        {"endless", FaultKind::Endless, 0},
        {"oversized:3000000", FaultKind::Oversized, 3000000},
        {"reset", FaultKind::Reset, 0},
        {"bad-lines", FaultKind::BadLines, 0},
    };
    for (const auto& r : rows) {
        const auto fault = parseFault(r.text);
        ASSERT_TRUE(fault) << r.text;
        EXPECT_EQ(fault->kind, r.kind) << r.text;
        EXPECT_EQ(fault->amount, r.amount) << r.text;
        EXPECT_EQ(faultName(*fault), r.text);
    }
}

TEST(FaultKinds, RejectMissingOrSurplusArguments) {
    for (const char* bad : {"delay",       "delay:",          "delay:-5",  "delay:abc",
                            "delay:5ms",   "delay:999999999", "trickle:0", "drop:1",
                            "error:x",     "unavailable:cr",  "problem",   "problem:200",
                            "problem:600", "forbidden:1",     "oversized", "oversized:99999999",
                            "reset:1",     "explode",         "",          "DROP"})
        EXPECT_FALSE(parseFault(bad)) << bad;
}

TEST(FaultRules, SplitAtTheLastEqualsSign) {
    const auto rule = parseFaultRule("/zipcity.php?inputstring=64106=error");
    ASSERT_TRUE(rule);
    EXPECT_EQ(rule->pattern, "/zipcity.php?inputstring=64106");
    EXPECT_EQ(rule->fault.kind, FaultKind::Error);
    EXPECT_FALSE(parseFaultRule("=drop"));
    EXPECT_FALSE(parseFaultRule("/radar/*"));
    EXPECT_FALSE(parseFaultRule("/radar/*=sometimes"));
}

TEST(FaultRules, MatchPathsTargetsAndHosts) {
    const struct {
        const char* pattern;
        const char* host;
        const char* target;
        bool matches;
    } rows[] = {
        {"*", "127.0.0.1:5000", "/anything?at=all", true},
        {"/radar/loopdata/*", "127.0.0.1:5000", "/radar/loopdata/DS.p19r0/keax.txt", true},
        {"/radar/loopdata/*", "127.0.0.1:5000", "/radar/images/DS.p19r0/SI.KEAX/x.gif", false},
        {"/radar/*/SI.KEAX/*", "127.0.0.1:5000", "/radar/images/DS.p20-r/SI.KEAX/a.gif", true},
        {"*.gif", "127.0.0.1:5000", "/radar/images/DS.p19r0/SI.KEAX/a.gif", true},
        {"*.gif", "127.0.0.1:5000", "/radar/images/DS.p19r0/SI.KEAX/a.gif.txt", false},
        // A path pattern matches whatever the query; a pattern with a query only that query.
        {"/zipcity.php", "127.0.0.1:5000", "/zipcity.php?inputstring=64106", true},
        {"/zipcity.php?inputstring=64106", "127.0.0.1:5000", "/zipcity.php?inputstring=64106",
         true},
        {"/zipcity.php?inputstring=64106", "127.0.0.1:5000", "/zipcity.php?inputstring=80301",
         false},
        {"/zipcity", "127.0.0.1:5000", "/zipcity.php", false},
        // "?" is literal, not a wildcard.
        {"/a?b", "h", "/axb", false},
        // Host-qualified patterns tell the primary region from the alternate one.
        {"localhost/radar/*", "localhost:5000", "/radar/x", true},
        {"localhost/radar/*", "127.0.0.1:5000", "/radar/x", false},
        {"127.0.0.1:5000/radar/*", "127.0.0.1:5000", "/radar/x", true},
        {"127.0.0.1:5001/radar/*", "127.0.0.1:5000", "/radar/x", false},
        {"LOCALHOST", "localhost:5000", "/any/path", true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(patternMatches(r.pattern, r.host, r.target), r.matches)
            << r.pattern << " vs " << r.host << r.target;
}

TEST(FaultPlan, TheNewestMatchingRuleWinsAndSamePatternsReplace) {
    FaultPlan plan;
    EXPECT_FALSE(plan.match("h", "/radar/x"));
    plan.set({"*", {FaultKind::Drop, 0}});
    plan.set({"/radar/*", {FaultKind::Delay, 10}});
    EXPECT_EQ(plan.match("h", "/radar/x")->kind, FaultKind::Delay);
    EXPECT_EQ(plan.match("h", "/zipcity.php")->kind, FaultKind::Drop);
    plan.set({"*", {FaultKind::Error, 0}});
    EXPECT_EQ(plan.rules().size(), 2u);
    EXPECT_EQ(plan.match("h", "/radar/x")->kind, FaultKind::Error) << "re-set rule is newest";
    EXPECT_TRUE(plan.remove("*"));
    EXPECT_FALSE(plan.remove("*"));
    EXPECT_EQ(plan.match("h", "/radar/x")->kind, FaultKind::Delay);
    plan.clear();
    EXPECT_FALSE(plan.match("h", "/radar/x"));
}
