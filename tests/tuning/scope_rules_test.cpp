// The drive scope as the tuning dialogs set it up: capture window and trigger for
// each reference type, and the channel scales by the 1-2-5 rule.
#include "tuning/scope_rules.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using orvex::tuning::CaptureSettings;
using orvex::tuning::ProfileTimes;

// ramp up 0.2 s, hold 1 s, ramp down 0.3 s, pause 0.5 s
const ProfileTimes kTimes{0.2, 1.0, 0.3, 0.5};

TEST(TuningScope, SpeedCaptureFramesOneProfile) {
    struct Case {
        const char* what;
        std::optional<double> speed;
        int type;
        bool multi;
        CaptureSettings expected;
    };
    const std::vector<Case> cases = {
        {"positive, one run: single capture at the final speed",
         1000.0,
         0,
         false,
         {1.7, 4, 1, "Speed_Reference", 1000.0, 12}},
        {"positive, repeated", 1000.0, 0, true, {1.7, 2, 1, "Speed_Reference", 1000.0, 12}},
        {"negative final speed falls through its level",
         -50.0,
         0,
         false,
         {1.7, 4, 0, "Speed_Reference", -50.0, 12}},
        {"negative profile: the trigger follows the reference down",
         1000.0,
         1,
         false,
         {1.7, 4, 0, "Speed_Reference", -1000.0, 12}},
        {"bidirectional: the whole profile",
         1000.0,
         2,
         false,
         {2.5, 4, 1, "Speed_Reference", 1000.0, 8}},
        {"no final speed: free-running", std::nullopt, 0, false, {2.0, 1, 1, "", 0.0, 0}},
        {"no final speed, bidirectional", std::nullopt, 2, true, {2.5, 1, 1, "", 0.0, 0}},
    };
    for (const auto& c : cases) {
        const auto got = orvex::tuning::SpeedCaptureSettings(c.speed, c.type, c.multi, kTimes);
        EXPECT_NEAR(got.window_s, c.expected.window_s, 1e-12) << c.what;
        auto same_window = got;
        same_window.window_s = c.expected.window_s;
        EXPECT_EQ(same_window, c.expected) << c.what;
    }
}

TEST(TuningScope, PositionCaptureByReferenceType) {
    struct Case {
        const char* what;
        std::optional<double> position;
        std::optional<int> type;
        CaptureSettings expected;
    };
    const std::vector<Case> cases = {
        {"no reference type", 10.0, std::nullopt, {1.7, 4, 1, "Target_Position", 9.5, 12}},
        {"negative", 10.0, 1, {1.7, 4, 0, "Target_Position", -9.5, 12}},
        {"negative with a negative position", -10.0, 1, {1.7, 4, 1, "Target_Position", 9.5, 12}},
        {"bidirectional", 10.0, 2, {2.5, 4, 1, "Target_Position", 9.0, 8}},
        {"positive, negative position", -10.0, 0, {1.7, 4, 0, "Target_Position", -9.5, 12}},
        {"no final position: free-running", std::nullopt, 0, {2.0, 1, 1, "", 0.0, 0}},
        {"no final position, bidirectional", std::nullopt, 2, {2.5, 1, 1, "", 0.0, 0}},
    };
    for (const auto& c : cases) {
        const auto got = orvex::tuning::PositionCaptureSettings(c.position, c.type, false, kTimes);
        EXPECT_NEAR(got.window_s, c.expected.window_s, 1e-12) << c.what;
        EXPECT_NEAR(got.level, c.expected.level, 1e-12) << c.what;
        auto same = got;
        same.window_s = c.expected.window_s;
        same.level = c.expected.level;
        EXPECT_EQ(same, c.expected) << c.what;
    }
}

TEST(TuningScope, ChannelScalesFollowTheOneTwoFiveRule) {
    struct Case {
        const char* what;
        orvex::tuning::ChannelScaleValues got;
        double division, offset;
    };
    const std::vector<Case> cases = {
        {"final speed 1000", orvex::tuning::ReferenceChannelScale(1000), 500, 0},
        {"final speed -1000", orvex::tuning::ReferenceChannelScale(-1000), 500, -2000},
        {"final position 3 rot", orvex::tuning::ReferenceChannelScale(3), 1, 0},
        {"current limit 7", orvex::tuning::CurrentChannelScale(7), 5, 10},
        {"current limit 0.6", orvex::tuning::CurrentChannelScale(0.6), 0.2, 0.4},
        {"ramp speed 30", orvex::tuning::RampSpeedChannelScale(-30), 20, 40},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(c.got.division, c.division) << c.what;
        EXPECT_DOUBLE_EQ(c.got.offset, c.offset) << c.what;
    }
}

}  // namespace
