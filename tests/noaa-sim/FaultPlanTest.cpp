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
