// Each fault bench shows the symptom a real drive shows.

#include <gtest/gtest.h>

#include <cmath>

#include "bench.h"

namespace orvex::sim {
namespace {

using testing::Bench;
using testing::LoadScenario;

TEST(Faults, OpenPhaseBCarriesNoCurrent) {
    Bench bench(LoadScenario("phase_b_open.json"));
    ASSERT_TRUE(bench.Run("Initial_Positioning_Test", {{"In1", 4095}}));
    ASSERT_TRUE(bench.Run("Motor_Phase_Connection_Test", {{"RefTest", bench.Var("REFTST_V")}}));
    EXPECT_NEAR(bench.Var("var_i1"), 4095, 400);
    EXPECT_NEAR(bench.Var("var_i2"), 0, 5);  // only ADC noise
}

TEST(Faults, OpenPhaseAMeansTheTestCurrentCannotBeReached) {
    Bench bench(LoadScenario("default.json", [](Scenario& s) { s.faults.phase_a_open = true; }));
    ASSERT_TRUE(bench.Run("Initial_Positioning_Test", {{"In1", 4095}}));
    EXPECT_EQ(bench.Var("In1"), 0.0);
}

TEST(Faults, InactiveEnableKeepsTheProgramFromStarting) {
    Bench bench(LoadScenario("enable_inactive.json"));
    ASSERT_TRUE(bench.Start("Initial_Positioning_Test", {{"In1", 4095}}));
    bench.clock.Advance(0.5);
    EXPECT_EQ(bench.Var("STARTED"), 0.0);
    EXPECT_EQ(static_cast<int>(bench.Var("MER")) & kMerEnableInactive, kMerEnableInactive);
    bool on = true;
    bench.drive->GetAxisOn(on);
    EXPECT_FALSE(on);
    // Measuring the bus needs no power stage, so it still works.
    EXPECT_TRUE(bench.Run("VDC_Detection_Test", {}));
    EXPECT_NEAR(bench.Var("var_u2") * testing::kMaxMeasurableBus_V / testing::kAdcMax, 47.6, 0.1);
}

TEST(Faults, OverCurrentEndsTheTestWithFlagZeroAndPowerOff) {
    Bench bench(LoadScenario());
    ASSERT_TRUE(bench.Run("Initial_Positioning_Test", {{"In1", 4095}}));
    // Protection below the step: the drive must trip.
    ASSERT_TRUE(
        bench.Run("Current_Controller_Tuning_Test",
                  {{"RefTest", bench.Var("REFTST_V")}, {"In1", 8000}, {"Imax_Prot_Test", 6000}}));
    EXPECT_EQ(bench.Var("test_flag"), 0.0);
    EXPECT_EQ(static_cast<int>(bench.Var("MER")) & kMerOverCurrent, kMerOverCurrent);
    bool on = true;
    bench.drive->GetAxisOn(on);
    EXPECT_FALSE(on);
}

TEST(Faults, ShortCircuitTripsTheBridge) {
    Bench bench(LoadScenario("short_circuit.json"));
    ASSERT_TRUE(bench.Run("Initial_Positioning_Test", {{"In1", 4095}}, {}, 5.0));
    EXPECT_EQ(static_cast<int>(bench.Var("MER")) & kMerShortCircuit, kMerShortCircuit);
}

TEST(Faults, EncoderFaultsShowInTheResolutionTest) {
    struct Case {
        const char* file;
        double expected_counts;
        double tolerance;
    } cases[] = {{"encoder_reversed.json", -4000, 2}, {"encoder_disconnected.json", 0, 0}};
    for (const Case& c : cases) {
        Bench bench(LoadScenario(c.file));
        ASSERT_TRUE(bench.Run("Initial_Positioning_Test", {{"In1", 4095}}));
        ASSERT_TRUE(bench.Run("Encoder_Resolution_And_Direction_Test",
                              {{"RefTest", bench.Var("REFTST_V")}, {"PolesPairs", 50}}));
        EXPECT_NEAR(bench.Var("var_lf_long"), c.expected_counts, c.tolerance) << c.file;
    }
}

}  // namespace
}  // namespace orvex::sim
