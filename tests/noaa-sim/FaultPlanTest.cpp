#include "noaa-sim/FaultPlan.h"

#include <gtest/gtest.h>

using namespace nimbuscope::noaasim;

TEST(FaultKinds, ParseWithTheirArgumentsRoundTripAndRefuseWhatIsNoFault) {
    for (const char* good :
         {"delay:250", "drop", "unavailable:lf", "problem:503", "oversized:3000000"}) {
        const auto fault = parseFault(good);
        ASSERT_TRUE(fault) << good;
        EXPECT_EQ(faultName(*fault), good);
    }
    // A status under 400 asks for no error at all.
    for (const char* bad : {"delay:-5", "delay:5ms", "drop:1", "problem:200", "problem:600",
                            "oversized:99999999", "explode", ""}) {
        EXPECT_FALSE(parseFault(bad)) << bad;
    }
}
