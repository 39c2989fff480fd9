// Every test dialog on every motor of the zoo and of the held-out motors, run as a
// production line runs it (axishost test), at twice the accuracy the tool promises
// (bench_identification prints the promised one), so a regression shows here long
// before a user sees it. The held-out motors were never used to develop the programs:
// a rule fitted to the zoo fails on them.

#include "zoo_headless.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace orvex::zoo {
namespace {

void ExpectMet(const Row& row) {
    SCOPED_TRACE(row.test + " on " + row.bench + " " + row.quantity);
    EXPECT_TRUE(row.meets_target) << "passed " << row.passed << ", identified "
                                  << row.value.value_or(NAN) << " " << row.unit << ", truth "
                                  << row.truth.value_or(NAN) << ", " << row.duration_s
                                  << " s, target " << row.target << ", failure: " << row.failure;
}

using FolderMotor = std::pair<std::string, std::string>;

std::vector<FolderMotor> EveryMotor() {
    std::vector<FolderMotor> motors;
    for (const char* folder : {"zoo", "holdout"})
        for (const std::string& motor : Motors(folder)) motors.emplace_back(folder, motor);
    return motors;
}

class Zoo : public ::testing::TestWithParam<FolderMotor> {};

TEST_P(Zoo, EveryTestPassesAndIdentifiesTheMotor) {
    const Targets loose{0.02, 0.04, 0.06, 0.1, 3.0};
    const std::vector<Row> rows = RunMotor(GetParam().first, GetParam().second, loose);
    ASSERT_EQ(rows.size(), 10u);  // nine tests, R and L apart
    for (const Row& row : rows) ExpectMet(row);
}

INSTANTIATE_TEST_SUITE_P(EveryMotor, Zoo, ::testing::ValuesIn(EveryMotor()), [](const auto& info) {
    return info.param.first + "_" + info.param.second;
});

TEST(ZooFaults, EachFaultBenchFailsItsTestWithTheTextThatNamesTheFault) {
    for (const Row& row : RunFaultBenches()) ExpectMet(row);
}

}  // namespace
}  // namespace orvex::zoo
