// The speed and position loops of zoo motors, tuned as the dialogs tune them, against
// the designs' promise: a regression guard with bounds looser than what
// bench_tuning_loops shows. The direct position loop runs with friction and detent, at
// the bandwidth its dialog accepts, with its step ramped over the design's time
// constant (see tuning_zoo_runner.h).

#include <gtest/gtest.h>

#include <cmath>

#include "tuning_zoo_runner.h"

namespace orvex::sim::zoo {
namespace {

// Rise time and overshoot within this share of the design's prediction.
constexpr double kBound = 0.3;

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

}  // namespace
}  // namespace orvex::sim::zoo
