// The scope logger on the simulated drive's scope frames: the capture window, the
// trigger with its pretrigger, the settings kept in the setup.

#include "host/drive/scope_logger.h"

#include <gtest/gtest.h>

#include "tests/drive/drive_fixture.h"

using drive_test::FrameFeed;
using drive_test::SimBench;

namespace {

// The analogue input as a sine of +-10 V every 20 ms, so that AD5 crosses mid-scale
// (32736 counts) upwards every 20 ms.
orvex::sim::Scenario SineOnAnalogueInput() {
    orvex::sim::Scenario s;
    s.analogue_input.min_V = -10;
    s.analogue_input.max_V = 10;
    s.analogue_input.period_s = 0.020;
    return s;
}

void RunAndDispatch(SimBench& bench, double seconds) {
    for (double t = 0; t < seconds; t += 1e-3) {
        bench.Run(1e-3);
        CMC_Comm::CheckForUnrequestedMessages();
    }
}

}  // namespace

TEST(ScopeLogger, FreeRunningWindowRollsOverAndReportsNewPointsOnce) {
    SimBench bench(SineOnAnalogueInput());
    CMC_ScopeLogger scope(bench.setup.get(), nullptr);
    scope.AddVariable("AD5");
    ASSERT_EQ(scope.ChangeSettings(0.010, 1, 1, nullptr, 0, 0), 1);
    FrameFeed feed(scope);
    ASSERT_EQ(scope.BeginUploadData(), 1) << scope.GetErrorText();
    EXPECT_EQ(scope.UploadInProgress(), 1);
    RunAndDispatch(bench, 0.006);
    const double period_s = bench.drive.core().fast_period_s();
    EXPECT_EQ(scope.GetPointsNo(), static_cast<unsigned>(std::lround(0.010 / period_s)));
    unsigned first = 0, count = 0;
    scope.GetPointsToBeDrawn(first, count);
    EXPECT_EQ(first, 0u);
    EXPECT_GT(count, 0u);
    unsigned again_first = 0, again = 0;
    scope.GetPointsToBeDrawn(again_first, again);
    EXPECT_EQ(again, 0u);  // each point is reported once
    EXPECT_EQ(again_first, count);
    RunAndDispatch(bench, 0.012);  // more than a window: the index wraps
    scope.GetPointsToBeDrawn(first, count);
    EXPECT_EQ(count, scope.GetPointsNo());
    ASSERT_EQ(scope.EndUploadData(), 1);
    EXPECT_EQ(scope.UploadInProgress(), 0);
    // The point reader gives the window oldest first, one sampling period apart.
    const double* previous = scope.ReadPoint();
    ASSERT_NE(previous, nullptr);
    int n = 1;
    while (const double* p = scope.ReadPoint()) {
        EXPECT_NEAR(p[0] - previous[0], period_s, 1e-6);
        previous = p;
        ++n;
    }
    EXPECT_EQ(n, static_cast<int>(scope.GetPointsNo()));
}

TEST(ScopeLogger, SingleTriggerCapturesTheWindowAroundARisingCrossing) {
    SimBench bench(SineOnAnalogueInput());
    CMC_ScopeLogger scope(bench.setup.get(), nullptr);
    scope.AddVariable("MER");
    scope.AddVariable("AD5");
    const double level = 32736;
    ASSERT_EQ(scope.ChangeSettings(0.008, 4, 1, "AD5", level, 25), 1);
    FrameFeed feed(scope);
    ASSERT_EQ(scope.BeginUploadData(), 1);
    RunAndDispatch(bench, 0.005);
    EXPECT_EQ(scope.DoGracefulStop(), 0);
    RunAndDispatch(bench, 0.060);
    ASSERT_EQ(scope.DoGracefulStop(), 1);
    const unsigned n = scope.GetPointsNo();
    const unsigned pre = n / 4;
    const double* before = scope.GetCapturePoint(pre - 1);
    const double* at = scope.GetCapturePoint(pre);
    ASSERT_TRUE(before && at);
    EXPECT_LT(before[2], level);
    EXPECT_GE(at[2], level);
    EXPECT_NEAR(at[0], 0.0, 1e-9);  // times count from the trigger
    EXPECT_LT(scope.GetCapturePoint(0)[0], 0.0);
    EXPECT_NE(scope.GetCapturePoint(n - 1), nullptr);
    // Nothing is added once the single capture is complete.
    unsigned first = 0, count = 0;
    scope.GetPointsToBeDrawn(first, count);
    RunAndDispatch(bench, 0.030);
    scope.GetPointsToBeDrawn(first, count);
    EXPECT_EQ(count, 0u);
    scope.EndUploadData();
}

TEST(ScopeLogger, RefusesFramesAndSettingsThatDoNotFit) {
    SimBench bench;
    CMC_ScopeLogger scope(bench.setup.get(), nullptr);
    scope.AddVariable("AD5");
    const unsigned char frame[12] = {};
    EXPECT_EQ(scope.OnFrameReceive(12, frame), -1);  // not streaming
    EXPECT_EQ(scope.ChangeSettings(0, 1, 1, nullptr, 0, 0), 0);
    EXPECT_EQ(scope.ChangeSettings(0.1, 3, 1, nullptr, 0, 0), 0);
    EXPECT_EQ(scope.ChangeSettings(0.1, 2, 1, nullptr, 0, 101), 0);
    ASSERT_EQ(scope.ChangeSettings(0.1, 2, 1, "IQ", 0, 10), 1);
    EXPECT_EQ(scope.BeginUploadData(), 0);  // the trigger variable is not shown
    ASSERT_EQ(scope.ChangeSettings(0.1, 2, 1, "AD5", 0, 10), 1);
    ASSERT_EQ(scope.BeginUploadData(), 1);
    // Two variables announced, one logged: the frame is refused whole.
    const unsigned char two_vars[12 + 8] = {2, 0, 1, 0, 0, 0, 0, 0, 50, 0, 0, 0};
    EXPECT_EQ(scope.OnFrameReceive(sizeof two_vars, two_vars), 0);
    // A frame shorter than its points.
    const unsigned char short_frame[12] = {1, 0, 3, 0, 0, 0, 0, 0, 50, 0, 0, 0};
    EXPECT_EQ(scope.OnFrameReceive(sizeof short_frame, short_frame), 0);
    EXPECT_EQ(scope.RescaleVariable("IQ", "A", 1, 0), 0);
    EXPECT_EQ(scope.RescaleVariable("AD5", "V", 0, 0), 0);
    scope.EndUploadData();
}

TEST(ScopeLogger, SettingsSurviveTheSetupOptionAndBadOnesChangeNothing) {
    SimBench bench;
    CMC_ScopeLogger scope(bench.setup.get(), nullptr);
    scope.AddVariable("AD5");
    scope.AddVariable("IQ");
    scope.ChangeSettings(0.25, 4, 0, "IQ", -1.5, 20);
    scope.RescaleVariable("IQ", "A", 0.5, 1.0);
    ASSERT_EQ(scope.SaveSettingsToSetupOption("SpeedTuningOscSettings"), 1);

    CMC_ScopeLogger loaded(bench.setup.get(), nullptr);
    EXPECT_EQ(loaded.LoadSettingsFromSetupOption("PositionTuningOscSettings"), 0);  // absent
    ASSERT_EQ(loaded.LoadSettingsFromSetupOption("SpeedTuningOscSettings"), 1)
        << loaded.GetErrorText();
    EXPECT_EQ(loaded.GetVariables(), scope.GetVariables());
    EXPECT_EQ(loaded.GetWindow(), 0.25);
    EXPECT_EQ(loaded.GetTriggerMode(), 4);
    EXPECT_EQ(loaded.GetTriggerSlope(), 0);
    EXPECT_EQ(loaded.GetTriggerVariable(), "IQ");
    EXPECT_EQ(loaded.GetTriggerLevel(), -1.5);
    EXPECT_EQ(loaded.GetPretrigger(), 20u);
    ASSERT_EQ(loaded.GetChannelScales().size(), 1u);
    EXPECT_EQ(loaded.GetChannelScales()[0].division, 0.5);

    for (const char* bad : {"not json", R"({"window":-1})", R"({"window":1,"triggerMode":1})"}) {
        bench.setup->SetOption("SpeedTuningOscSettings", bad);
        EXPECT_EQ(loaded.LoadSettingsFromSetupOption("SpeedTuningOscSettings"), 0) << bad;
        EXPECT_EQ(loaded.GetWindow(), 0.25) << bad;
        EXPECT_EQ(loaded.GetVariables().size(), 2u) << bad;
    }
}
