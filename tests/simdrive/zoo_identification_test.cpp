// Identification on every motor of the zoo, from the smallest frame to the largest,
// through the simulated drive and the module's formulas, with the setup a user
// wrote for each. The bounds are twice the accuracy the tool promises (printed by
// bench_identification), so a regression shows here long before a user sees it.

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "zoo_runner.h"

namespace orvex::sim::zoo {
namespace {

struct Bound {
    double max_error;  // relative, absolute for "Vdc"
};

const std::map<std::string, Bound>& Bounds() {
    static const std::map<std::string, Bound> bounds = {
        {"R", {0.02}},           {"L", {0.04}},    {"Jt", {0.06}},         {"Vdc", {0.1}},
        {"Vdc (R test)", {0.1}}, {"lines", {0.0}}, {"phase check", {1.0}},
    };
    return bounds;
}

class Zoo : public ::testing::TestWithParam<std::string> {};

TEST_P(Zoo, IdentifiesTheMotor) {
    const auto results = Identify(GetParam());
    ASSERT_EQ(results.size(), 7u);
    for (const Measurement& m : results) {
        SCOPED_TRACE(m.motor + " " + m.test);
        EXPECT_TRUE(m.ok);
        EXPECT_LE(std::fabs(m.error), Bounds().at(m.test).max_error)
            << "identified " << m.value << " " << m.unit << ", truth " << m.truth;
        // The five programs of the resistance and inductance test together.
        if (m.test == "R") {
            EXPECT_LT(m.duration_s, 3.0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryMotor, Zoo, ::testing::ValuesIn(Motors()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace orvex::sim::zoo
