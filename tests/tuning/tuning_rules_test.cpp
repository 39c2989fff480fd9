// The final value of the profile on whole drive counts.
#include "tuning/tuning_rules.h"

#include <gtest/gtest.h>

namespace {

using orvex::tuning::QuantisedFinalValue;

TEST(FinalValue, LandsOnAWholeNonzeroNumberOfCounts) {
    struct Case {
        double value, counts_per_unit, expected;
    };
    const Case cases[] = {
        {93.0, 0.25, 92.0},                      // 23.25 counts -> 23
        {94.0, 0.25, 96.0},                      // 23.5 counts: halves away from zero -> 24
        {-94.0, 0.25, -96.0},                    // on both sides of zero
        {1.0, 0.25, 4.0},                        // a quarter count: one count in its own direction
        {-1.0, 0.25, -4.0},   {0.0, 0.25, 4.0},  // no direction at all counts as forward
        {2.0, -0.5, 2.0},  // a reversed transmission keeps its sign through the scale
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(QuantisedFinalValue(c.value, c.counts_per_unit).value(), c.expected)
            << c.value << " x " << c.counts_per_unit;
    EXPECT_FALSE(QuantisedFinalValue(5.0, 0.0).has_value());
}

}  // namespace
