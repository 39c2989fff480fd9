// The drive as the host sees it through DriveLink: programs by name and their
// completion, variables, logger, scope frames, commands, fault injection.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>

#include "bench.h"
#include "simdrive/fault_injecting_link.h"
#include "simdrive/logger.h"

namespace orvex::sim {
namespace {

using testing::Bench;
using testing::LoadScenario;

TEST(DriveLink, RefusesUnknownNamesWithAReason) {
    Bench bench(LoadScenario());
    EXPECT_FALSE(bench.drive->ExecuteProgram("Ident_Everything"));
    EXPECT_EQ(bench.drive->LastErrorText(), "Unknown drive program \"Ident_Everything\".");
    double v = 0;
    EXPECT_FALSE(bench.drive->ReadVariable("NoSuchVar", v));
    EXPECT_EQ(bench.drive->LastErrorText(), "Unknown drive variable \"NoSuchVar\".");
    EXPECT_FALSE(bench.drive->WriteVariable("APOS", 5));
    EXPECT_EQ(bench.drive->LastErrorText(), "The drive variable \"APOS\" is read-only.");
    EXPECT_FALSE(bench.drive->SendCommand("!FOO;"));
    EXPECT_TRUE(bench.drive->ReadVariable("MER", v));
    EXPECT_EQ(static_cast<int>(v) & kMerCommandError, kMerCommandError);
    // The register image takes any option name.
    EXPECT_TRUE(bench.drive->WriteRegister("ANY_OPTION_AT_ALL", 123.9, 16));
    EXPECT_TRUE(bench.drive->ReadRegister("ANY_OPTION_AT_ALL", v));
    EXPECT_EQ(v, 123);
}

TEST(DriveLink, LoggerRefusesMoreValuesThanItsBufferHolds) {
    Bench bench(LoadScenario());
    struct Case {
        int points;
        int variables;
        bool accepted;
    } cases[] = {
        {1000000, 1, true},
        {static_cast<int>(kLoggerCapacityValues / 4), 4, true},
        {static_cast<int>(kLoggerCapacityValues / 4) + 1, 4, false},
        {1000000, 200, false},
    };
    for (const Case& c : cases) {
        drive::LoggerSettings s;
        s.points = c.points;
        s.variables.assign(static_cast<std::size_t>(c.variables), "IQ");
        EXPECT_EQ(bench.drive->ConfigureLogger(s), c.accepted) << c.points << " x " << c.variables;
        if (!c.accepted) {
            EXPECT_EQ(
                bench.drive->LastErrorText().rfind("The logger buffer holds 1048576 values", 0),
                0u);
        }
    }
}

TEST(DriveLink, ProgramStartsThenPowersOffWhenDone) {
    Bench bench(LoadScenario());
    ASSERT_TRUE(bench.Start("Initial_Positioning_Test", {{"In1", 4095}}));
    bool on = true;
    EXPECT_EQ(bench.Var("STARTED"), 0.0);  // no time has passed yet
    bench.drive->GetAxisOn(on);
    EXPECT_FALSE(on);
    bench.clock.Advance(0.005);
    EXPECT_EQ(bench.Var("STARTED"), 1.0);
    bench.drive->GetAxisOn(on);
    EXPECT_TRUE(on);
    const RunResult r = WaitForProgramEnd(*bench.drive, bench.clock);
    EXPECT_TRUE(r.finished);
    EXPECT_LT(r.elapsed_s, 2.0);
    bool running = true;
    bench.drive->IsProgramRunning(running);
    EXPECT_FALSE(running);
    EXPECT_GT(bench.Var("REFTST_V"), 0);
}

TEST(DriveLink, ContinuousProgramRunsUntilStopped) {
    Bench bench(LoadScenario());
    ASSERT_TRUE(bench.Start("Analogue_Reference_Test", {}));
    RunFor(*bench.drive, bench.clock, 3.0);
    bool running = false;
    bench.drive->IsProgramRunning(running);
    EXPECT_TRUE(running);
    EXPECT_TRUE(bench.drive->StopProgram());
    bench.drive->IsProgramRunning(running);
    EXPECT_FALSE(running);
}

TEST(Logger, SamplesTheChosenLoopTimesTheDivider) {
    struct Case {
        int log_type, divider;
        double spacing_s;
    } cases[] = {{1, 1, testing::kSlowPeriod_s},
                 {2, 1, testing::kFastPeriod_s},
                 {2, 4, 4 * testing::kFastPeriod_s},
                 {1, 3, 3 * testing::kSlowPeriod_s}};
    for (const Case& c : cases) {
        Bench bench(LoadScenario());
        ASSERT_TRUE(bench.Run("Ident_R_or_Rs", {{"In1", 2000}, {"RefTest", 800}},
                              {c.log_type, 50, c.divider, {"IQ", "APOS"}}));
        const auto points = bench.Log();
        ASSERT_EQ(points.size(), 50u);
        ASSERT_EQ(points[0].size(), 3u);
        EXPECT_DOUBLE_EQ(points[0][0], 0.0);
        EXPECT_NEAR(points[49][0] - points[48][0], c.spacing_s, 1e-9)
            << c.log_type << " " << c.divider;
        EXPECT_NEAR(testing::Mean(points, 1), 2000, 20);
    }
}

TEST(Scope, StreamsFramesAboutEveryMillisecond) {
    Bench bench(LoadScenario());
    ASSERT_TRUE(bench.drive->ConfigureScope({"IQ", "APOS"}, 1));
    ASSERT_TRUE(bench.Start("Ident_R_or_Rs", {{"In1", 2000}, {"RefTest", 800}}));
    bench.clock.Advance(0.0101);
    const auto frames = bench.drive->PollUnsolicited();
    ASSERT_EQ(frames.size(), 10u);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const auto& f = frames[k];
        EXPECT_EQ(f[0], f.size() - 3);
        EXPECT_EQ(f[1], k);
        EXPECT_EQ(f[2], 0xE900);
        EXPECT_EQ(f[3], 2);   // variables
        EXPECT_EQ(f[4], 20);  // points: 1 ms at 20 kHz
        EXPECT_EQ(f[5] | (f[6] << 16), 20 * k);
        EXPECT_EQ(f[7] | (f[8] << 16), 50);  // microseconds per point
        EXPECT_EQ(f.size(), 9u + 20 * 2 * 2);
    }
    EXPECT_TRUE(bench.drive->PollUnsolicited().empty());
}

TEST(EncoderConnection, OperatorTurnsTheShaftAndTheIndexIsCaptured) {
    Bench bench(LoadScenario());
    ASSERT_TRUE(bench.Start("Encoder_Connection_Test", {}));
    bench.clock.Advance(0.1);
    EXPECT_NE(bench.Var("APOS"), 0.0);
    ASSERT_TRUE(bench.drive->SendCommand("!CAP;ENCAPI1;"));
    RunFor(*bench.drive, bench.clock, 2.0);
    // The index sits at 0.3 rad: floor(0.3 x 4000 / 2 pi) counts.
    EXPECT_EQ(bench.Var("CAPPOS"), std::floor(0.3 * 4000 / (2 * std::numbers::pi)));
    bool on = true;
    bench.drive->GetAxisOn(on);
    EXPECT_FALSE(on);  // the operator turns a free shaft
    ASSERT_TRUE(bench.drive->WriteVariable("var_i2", 1));
    EXPECT_TRUE(WaitForProgramEnd(*bench.drive, bench.clock, 1.0).finished);
}

TEST(AnalogueInput, ConvertsTheSpanToTenBitsLeftAligned) {
    Bench bench(LoadScenario());
    ASSERT_TRUE(bench.Start("Analogue_Reference_Test", {}));
    double lowest = 1e9, highest = -1e9;
    for (int k = 0; k < 400; ++k) {  // one 4 s period of the -10..10 V sine
        bench.clock.Advance(0.01);
        const double ad5 = bench.Var("AD5");
        EXPECT_EQ(std::fmod(ad5, 64.0), 0.0);
        lowest = std::min(lowest, ad5);
        highest = std::max(highest, ad5);
    }
    EXPECT_EQ(lowest, 0.0);
    EXPECT_EQ(highest, 65472.0);
}

TEST(FaultInjection, NextReadOrWriteOfANameFails) {
    Bench bench(LoadScenario());
    drive::FaultInjectingLink link(*bench.drive);
    link.FailNextRead("MER", "Communication timeout.");
    link.FailNextWrite("KPI", "Checksum error.");
    double v = 0;
    EXPECT_TRUE(link.ReadVariable("APOS", v));
    EXPECT_FALSE(link.ReadVariable("MER", v));
    EXPECT_EQ(link.LastErrorText(), "Communication timeout.");
    EXPECT_TRUE(link.ReadVariable("MER", v));  // only the next one
    EXPECT_FALSE(link.WriteRegister("KPI", 1, 16));
    EXPECT_EQ(link.LastErrorText(), "Checksum error.");
    EXPECT_TRUE(link.WriteRegister("KPI", 1, 16));
    link.FailNextExecute("No answer.");
    EXPECT_FALSE(link.ExecuteProgram("VDC_Detection_Test"));
    EXPECT_EQ(link.LastErrorText(), "No answer.");
    EXPECT_TRUE(link.ExecuteProgram("VDC_Detection_Test"));
}

TEST(Determinism, SameScenarioAndClockGiveIdenticalResults) {
    auto run = [] {
        Bench bench(LoadScenario());
        bench.Run("Initial_Positioning_Test", {{"In1", 4095}});
        bench.Run("Ident_L_or_Tau_el", {{"In1", 4095}, {"RefTest", bench.Var("REFTST_V")}},
                  {2, 200, 1, {"IQ", "ID"}});
        return std::make_pair(bench.Log(), bench.Var("APOS"));
    };
    const auto a = run();
    const auto b = run();
    EXPECT_EQ(a.first, b.first);
    EXPECT_EQ(a.second, b.second);
    Scenario other_seed = LoadScenario();
    other_seed.seed = 2;
    Bench c(other_seed);
    c.Run("Initial_Positioning_Test", {{"In1", 4095}});
    c.Run("Ident_L_or_Tau_el", {{"In1", 4095}, {"RefTest", c.Var("REFTST_V")}},
          {2, 200, 1, {"IQ", "ID"}});
    EXPECT_NE(c.Log(), a.first);  // the noise really is seeded
}

}  // namespace
}  // namespace orvex::sim

namespace orvex::sim {
namespace {

TEST(Clock, ManualClockMovesOnlyForward) {
    ManualClock clock;
    clock.Advance(0.25);
    clock.Advance(-1.0);
    EXPECT_DOUBLE_EQ(clock.Now_s(), 0.25);
}

TEST(Clock, RealTimeClockRunsAtItsSpeedFactor) {
    RealTimeClock normal, fast(50.0);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    while (std::chrono::steady_clock::now() < until) {
    }
    EXPECT_GE(normal.Now_s(), 0.02);
    EXPECT_GE(fast.Now_s(), 50 * 0.02);
    EXPECT_LT(normal.Now_s(), fast.Now_s());
}

TEST(FaultInjection, LaterFailuresReportTheirOwnText) {
    testing::Bench bench(testing::LoadScenario());
    drive::FaultInjectingLink link(*bench.drive);
    link.FailNextRead("MER", "Communication timeout.");
    double v = 0;
    EXPECT_FALSE(link.ReadVariable("MER", v));
    EXPECT_FALSE(link.ReadRegister("NEVER_WRITTEN", v));
    EXPECT_EQ(link.LastErrorText(), "Register \"NEVER_WRITTEN\" was never written.");
}

}  // namespace
}  // namespace orvex::sim
