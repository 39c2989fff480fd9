// The speed and position loops of zoo motors, tuned as the dialogs tune them, against
// the designs' promise: rise time and overshoot within the promised 20 % (three
// motors here; bench_tuning_loops shows all six). The direct position loop runs with
// friction and detent, at the bandwidth its dialog accepts, with its step ramped over
// the design's time constant (see tuning_zoo_runner.h). The fastest and slowest loops the dialogs
// accept must still come to rest.

#include <gtest/gtest.h>

#include <cmath>

#include "tuning_zoo_runner.h"

namespace orvex::sim::zoo {
namespace {

// Rise time and overshoot within this share of the design's prediction.
constexpr double kBound = 0.2;

TEST(ZooTuning, TunedLoopsRespondAsDesigned) {
    struct Case {
        const char* motor;
        TunedLoop loop;
    } cases[] = {{"nema17", TunedLoop::kSpeed},
                 {"nema23", TunedLoop::kSpeed},
                 {"nema17", TunedLoop::kPositionWithSpeed},
                 {"nema23", TunedLoop::kPositionWithSpeed},
                 {"nema17", TunedLoop::kPositionDirect},
                 {"nema34", TunedLoop::kPositionDirect}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.motor) + " " + LoopName(c.loop));
        RunOptions options;
        options.cycles = 8;
        const LoopStep step = RunLoopStep(c.motor, c.loop, options);
        ASSERT_TRUE(step.accepted);
        ASSERT_TRUE(step.ran) << step.error;
        EXPECT_TRUE(step.settled);
        EXPECT_LE(std::fabs(RiseTimeError(step)), kBound);
        EXPECT_LE(std::fabs(OvershootError(step)), kBound);
    }
}

// The fastest speed loop and position loop on it that the tuning dialogs accept still
// come to rest after the step; so do the slowest and fastest direct loops (the slowest
// is the one the detent could hold off the target).
TEST(ZooTuning, FastestAcceptedLoopsStayStable) {
    for (const char* motor : {"nema17", "nema23"}) {
        for (const TunedLoop loop :
             {TunedLoop::kSpeed, TunedLoop::kPositionWithSpeed, TunedLoop::kPositionDirect}) {
            const BandwidthRange range = AcceptedBandwidths(motor, loop);
            for (const double w : {range.min_rad_s, range.max_rad_s}) {
                if (loop != TunedLoop::kPositionDirect && w == range.min_rad_s) continue;
                SCOPED_TRACE(std::string(motor) + " " + LoopName(loop) + " " + std::to_string(w));
                RunOptions options;
                options.bandwidth_rad_s = w;
                const LoopStep step = RunLoopStep(motor, loop, options);
                ASSERT_TRUE(step.ran) << step.error;
                EXPECT_TRUE(step.at_rest);
                if (loop == TunedLoop::kPositionDirect) {
                    EXPECT_TRUE(step.settled);
                }
            }
        }
    }
}

// A standing shaft that friction and detent hold a few counts beside the target winds
// the integrals of the position loop and the speed loop under it until it breaks loose
// and jumps past, again and again. The setups' freeze control holds the integrals once
// the error has stayed in its window of three quarters of a full step: over the whole
// accepted range, the shaft comes to rest instead of hunting (nema11 and nema34 hunted
// at some passbands in a window of a fifth of a full step, and at a target on a detent
// crest in one of half a step). Where the speed loop is too soft for the detent
// (nema08 at 25 Hz) no passband is accepted until the speed loop is tuned to what the
// refusal names (27 Hz); then every one is.
TEST(ZooTuning, PositionLoopOnTheSpeedLoopStopsHuntingInTheFreezeWindow) {
    EXPECT_NEAR(RunLoopStep("nema08", TunedLoop::kPositionWithSpeed, {}).retuned_speed_rad_s,
                2 * M_PI * 27, 1e-9);
    constexpr int kPoints = 15;
    for (const char* motor : {"nema08", "nema11", "nema23", "nema34"}) {
        const BandwidthRange range = AcceptedBandwidths(motor, TunedLoop::kPositionWithSpeed);
        for (int k = 0; k < kPoints; ++k) {
            RunOptions options;
            options.bandwidth_rad_s = range.min_rad_s * std::pow(range.max_rad_s / range.min_rad_s,
                                                                 k / (kPoints - 1.0));
            SCOPED_TRACE(std::string(motor) + " " + std::to_string(*options.bandwidth_rad_s));
            const LoopStep step = RunLoopStep(motor, TunedLoop::kPositionWithSpeed, options);
            ASSERT_TRUE(step.ran) << step.error;
            EXPECT_TRUE(step.at_rest);
        }
    }
}

}  // namespace
}  // namespace orvex::sim::zoo
