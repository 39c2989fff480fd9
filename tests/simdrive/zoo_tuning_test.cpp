// The speed and position loops of two zoo motors, tuned as the dialogs tune them,
// against the designs' promise: a regression guard with bounds looser than what
// bench_tuning_loops shows. The direct position loop is judged on the motor without
// friction and detent: at its design bandwidth these hold the shaft off the
// reference for a while (the bench prints by how much), which says nothing of the
// loop. The fastest loops the dialogs accept must still come to rest.

#include <gtest/gtest.h>

#include <cmath>

#include "tuning_zoo_runner.h"

namespace orvex::sim::zoo {
namespace {

// Rise time and overshoot within this share of the design's prediction.
constexpr double kBound = 0.3;

TEST(ZooTuning, TunedLoopsRespondAsDesigned) {
    struct Case {
        TunedLoop loop;
        bool frictionless;
    } cases[] = {{TunedLoop::kSpeed, false},
                 {TunedLoop::kPositionWithSpeed, false},
                 {TunedLoop::kPositionDirect, true}};
    for (const char* motor : {"nema17", "nema23"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(motor) + " " + LoopName(c.loop));
            RunOptions options;
            options.frictionless = c.frictionless;
            options.cycles = 8;
            const LoopStep step = RunLoopStep(motor, c.loop, options);
            ASSERT_TRUE(step.ran) << step.error;
            EXPECT_TRUE(step.settled);
            EXPECT_LE(std::fabs(RiseTimeError(step)), kBound);
            EXPECT_LE(std::fabs(OvershootError(step)), kBound);
        }
    }
}

// The fastest speed loop and position loop on it that the tuning dialogs accept still
// come to rest after the step.
TEST(ZooTuning, FastestAcceptedLoopsStayStable) {
    for (const char* motor : {"nema17", "nema23"}) {
        for (const TunedLoop loop : {TunedLoop::kSpeed, TunedLoop::kPositionWithSpeed}) {
            SCOPED_TRACE(std::string(motor) + " " + LoopName(loop));
            RunOptions options;
            options.bandwidth_rad_s = AcceptedBandwidths(motor, loop).max_rad_s;
            const LoopStep step = RunLoopStep(motor, loop, options);
            ASSERT_TRUE(step.ran) << step.error;
            EXPECT_TRUE(step.at_rest);
        }
    }
}

}  // namespace
}  // namespace orvex::sim::zoo
