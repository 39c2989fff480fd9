// Scope frames as the communication layer hands them over: every length is checked
// against the message before anything is read, malformed frames are dropped and
// counted, gaps in the sequence counted as lost. And the channel scales: the 1-2-5
// series, stepping along it, autoscale.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "host/drive/scope_logger.h"
#include "tests/drive/drive_fixture.h"

using drive_test::SimBench;

namespace {

// A frame of one variable: header, payload header, then `values` as 32-bit points.
std::vector<std::uint16_t> Frame(std::uint16_t sequence, const std::vector<std::int32_t>& values,
                                 std::uint16_t variables = 1) {
    std::vector<std::uint16_t> w = {0,
                                    sequence,
                                    CMC_ScopeLogger::kFrameTag,
                                    variables,
                                    static_cast<std::uint16_t>(values.size() / variables),
                                    0,
                                    0,
                                    50,
                                    0};
    for (std::int32_t v : values) {
        w.push_back(static_cast<std::uint16_t>(v & 0xFFFF));
        w.push_back(static_cast<std::uint16_t>((static_cast<std::uint32_t>(v) >> 16) & 0xFFFF));
    }
    w[0] = static_cast<std::uint16_t>(w.size() - 3);
    return w;
}

struct StreamingScope {
    SimBench bench;
    CMC_ScopeLogger scope{bench.setup.get(), nullptr};
    explicit StreamingScope(const char* variable = "AD5") {
        scope.AddVariable(variable);
        scope.ChangeSettings(0.010, 1, 1, nullptr, 0, 0);
        EXPECT_EQ(scope.BeginUploadData(), 1) << scope.GetErrorText();
    }
    ~StreamingScope() { scope.EndUploadData(); }
};

TEST(ScopeFrame, MalformedMessagesAreDroppedAndCountedWithoutReadingPastTheirEnd) {
    struct Case {
        const char* what;
        std::vector<std::uint16_t> words;
    };
    const auto good = Frame(1, {10, 20, 30});
    auto longer_than_said = good;
    longer_than_said.push_back(0);
    auto claims_more = good;
    claims_more[0] = 60000;  // a payload far beyond the message: never read
    auto claims_less = good;
    claims_less[0] -= 2;
    auto more_points_than_sent = good;
    more_points_than_sent[4] = 4;
    auto zero_period = good;
    zero_period[7] = 0;
    const std::vector<Case> cases = {
        {"empty message", {}},
        {"header cut short", {6, 1}},
        {"header only, payload announced", {6, 1, CMC_ScopeLogger::kFrameTag}},
        {"payload header cut short", {2, 1, CMC_ScopeLogger::kFrameTag, 1, 0}},
        {"word 0 beyond the message", claims_more},
        {"word 0 short of the message", claims_less},
        {"message longer than word 0", longer_than_said},
        {"more points announced than sent", more_points_than_sent},
        {"two variables announced, one logged", Frame(1, {1, 2}, 2)},
        {"sampling period 0", zero_period},
    };
    StreamingScope s;
    unsigned dropped = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(s.scope.OnScopeMessage(c.words.data(), c.words.size()), 0) << c.what;
        EXPECT_EQ(s.scope.GetDroppedFrames(), ++dropped) << c.what;
    }
    unsigned first = 0, count = 0;
    s.scope.GetPointsToBeDrawn(first, count);
    EXPECT_EQ(count, 0u);  // nothing of a bad frame reached the capture
    EXPECT_EQ(s.scope.OnScopeMessage(good.data(), good.size()), 3);
    EXPECT_EQ(s.scope.GetDroppedFrames(), dropped);
    s.scope.GetPointsToBeDrawn(first, count);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(s.scope.GetCapturePoint(first + 2)[1], 30.0);
}

TEST(ScopeFrame, NegativeValuesAndSequenceGapsAreRead) {
    StreamingScope s;
    const auto a = Frame(65534, {-5});
    const auto b = Frame(65535, {-70000});
    const auto c = Frame(2, {7});  // 0 and 1 lost across the wrap
    EXPECT_EQ(s.scope.OnScopeMessage(a.data(), a.size()), 1);
    EXPECT_EQ(s.scope.OnScopeMessage(b.data(), b.size()), 1);
    EXPECT_EQ(s.scope.OnScopeMessage(c.data(), c.size()), 1);
    EXPECT_EQ(s.scope.GetLostFrames(), 2u);
    EXPECT_EQ(s.scope.GetDroppedFrames(), 0u);
    EXPECT_EQ(s.scope.GetCapturePoint(0)[1], -5.0);
    EXPECT_EQ(s.scope.GetCapturePoint(1)[1], -70000.0);
}

TEST(ScopeFrame, RandomMessagesNeverCrashAndEitherFitOrAreDropped) {
    StreamingScope s;
    std::mt19937 random(11);
    unsigned taken_frames = 0;
    for (int i = 0; i < 20000; ++i) {
        std::vector<std::uint16_t> w(random() % 24);
        for (auto& x : w) x = static_cast<std::uint16_t>(random() % 8);  // small: often plausible
        if (w.size() > 2 && random() % 2) w[0] = static_cast<std::uint16_t>(w.size() - 3);
        if (w.size() > 7 && random() % 2) w[7] = 50;
        const int r = s.scope.OnScopeMessage(w.data(), w.size());
        ASSERT_GE(r, 0);
        if (r > 0) ++taken_frames;
    }
    EXPECT_GT(s.scope.GetDroppedFrames(), 0u);
    EXPECT_EQ(s.scope.GetDroppedFrames() + taken_frames <= 20000u, true);
}

TEST(ScopeFrame, DriveFramesAtOneKilohertzArriveWholeAndInSequence) {
    StreamingScope s;
    int frames = 0;
    {
        drive_test::FrameFeed feed(s.scope);
        for (int ms = 0; ms < 200; ++ms) {
            s.bench.Run(1e-3);
            frames += CMC_Comm::CheckForUnrequestedMessages();
        }
    }
    EXPECT_GE(frames, 190);
    EXPECT_EQ(s.scope.GetDroppedFrames(), 0u);
    EXPECT_EQ(s.scope.GetLostFrames(), 0u);
}

TEST(ChannelScale, OneTwoFiveDivisionCoversTheQuantity) {
    struct Case {
        double x, division;
    };
    const Case cases[] = {
        {250, 500},    // a final speed of 1000 shown over four divisions
        {7.0 / 3, 5},  // a current limit of 7 over three
        {100, 100},   {101, 200}, {0.3, 0.5}, {0.15, 0.2}, {0.001, 0.001},
        {1, 1},       {1.5, 2},   {0, 0.2},   {-4, 0.2},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(axis::Division125(c.x), c.division) << c.x;
}

TEST(ChannelScale, StepsAlongTheSeriesAcrossDecades) {
    struct Case {
        double from;
        int steps;
        double to;
    };
    const Case cases[] = {{1, 1, 2},       {2, 1, 5},      {5, 1, 10}, {1, -1, 0.5}, {0.5, -1, 0.2},
                          {0.1, -1, 0.05}, {500, 2, 2000}, {3, 0, 5},  {1, -4, 0.05}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(axis::StepDivision125(c.from, c.steps), c.to) << c.from << " " << c.steps;
}

TEST(ChannelScale, ChannelRequestsStepTheDivisionAndKeepTheOffset) {
    SimBench bench;
    CMC_ScopeLogger scope(bench.setup.get(), nullptr);
    scope.AddVariable("MER");
    scope.AddVariable("AD5");
    ASSERT_EQ(scope.RescaleVariable("AD5", "V", 5, -20), 1);
    EXPECT_EQ(scope.ChangeChannelScale(1, 1), 1);
    EXPECT_EQ(scope.GetChannelScales()[0].division, 10);
    EXPECT_EQ(scope.GetChannelScales()[0].offset, -20);
    EXPECT_EQ(scope.ChangeChannelScale(1, -2), 1);
    EXPECT_EQ(scope.GetChannelScales()[0].division, 2);
    EXPECT_EQ(scope.ChangeChannelScale(0, -1), 1);  // unscaled channel starts from 1
    EXPECT_EQ(scope.GetChannelScales()[1].division, 0.5);
    EXPECT_EQ(scope.ChangeChannelScale(2, 1), 0);
    EXPECT_EQ(scope.ChangeChannelScale(-1, 1), 0);
    EXPECT_EQ(scope.ChangeChannelScale(1, 0), 0);
}

TEST(ChannelScale, AutoscaleFitsTheCaptureInEightDivisionsAroundItsMiddle) {
    StreamingScope s("MER");            // a variable without unit: drive counts as they come
    EXPECT_EQ(s.scope.Autoscale(), 0);  // nothing captured yet
    const auto f = Frame(1, {-300, 100, 500});
    ASSERT_EQ(s.scope.OnScopeMessage(f.data(), f.size()), 3);
    ASSERT_EQ(s.scope.Autoscale(), 1);
    const auto& scale = s.scope.GetChannelScales().at(0);
    EXPECT_EQ(scale.division, 100);
    EXPECT_EQ(scale.offset, 100);
    const auto flat = Frame(2, {40, 40});
    s.scope.EndUploadData();
    ASSERT_EQ(s.scope.BeginUploadData(), 1);
    ASSERT_EQ(s.scope.OnScopeMessage(flat.data(), flat.size()), 2);
    ASSERT_EQ(s.scope.Autoscale(), 1);
    EXPECT_EQ(s.scope.GetChannelScales().at(0).division, 10);  // a flat trace: its size / 4
    EXPECT_EQ(s.scope.GetChannelScales().at(0).offset, 40);
}

}  // namespace
