// How the position tuning test follows the drive's loop structure: the program it
// runs, the signals it logs, the controls it allows.
#include "tuning/position_rules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

namespace {

using orvex::tuning::PositionControlStates;
using orvex::tuning::PositionLoopStructure;

TEST(PositionTuningRules, ControlStatesFollowModeLoopTypeAndFastLoop) {
    struct Case {
        const char* what;
        PositionLoopStructure loop;
        PositionControlStates expected;  // speed limit, ff frame, speed ff, acceleration ff
    };
    const std::optional<int> none;
    const std::vector<Case> cases = {
        // With a speed feed-forward parameter: all or nothing.
        {"position, cascaded, slow loop", {0, 1, 0, true}, {true, true, true, true}},
        {"position, direct, slow loop", {0, 0, 0, true}, {false, true, true, true}},
        {"position, type 2 is neither structure", {0, 2, 0, true}, {false, false, false, false}},
        {"position, cascaded, fast loop", {0, 1, 1, true}, {true, false, false, false}},
        {"speed mode", {1, 1, 0, true}, {false, false, false, false}},
        {"fast-loop flag absent", {0, 1, none, true}, {true, false, false, false}},
        {"control mode absent", {none, 1, 0, true}, {false, false, false, false}},
        // Without it: the frame stays, each path by its own rule.
        {"no speed ff: position, cascaded", {0, 1, 1, false}, {true, true, true, true}},
        {"no speed ff: direct in the fast loop", {0, 0, 1, false}, {false, true, false, false}},
        {"no speed ff: direct in the slow loop", {0, 0, 0, false}, {false, true, false, true}},
        {"no speed ff: speed mode, direct, fast", {1, 0, 1, false}, {false, true, false, true}},
        {"no speed ff: all absent", {none, none, none, false}, {false, true, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(orvex::tuning::PositionControlStatesFor(c.loop), c.expected);
    }
}

TEST(PositionTuningRules, LoopTypeChoosesProgramAndInnerLoopSignals) {
    struct Case {
        std::optional<int> type;
        const char* program;
        const char* inner_reference;
        const char* inner_response;
    };
    const std::vector<Case> cases = {
        {1, "Position_Controller_Tuning_Test_with_SpdCtrl", "Speed_Reference", "Load_Speed"},
        {0, "Position_Controller_Tuning_Test_without_SpdCtrl", "Current_Reference",
         "Motor_Current"},
        {2, "Position_Controller_Tuning_Test_without_SpdCtrl", "Current_Reference",
         "Motor_Current"},
        {std::nullopt, "Position_Controller_Tuning_Test_without_SpdCtrl", "Current_Reference",
         "Motor_Current"},
    };
    for (const Case& c : cases) {
        const PositionLoopStructure loop{0, c.type, 0, true};
        EXPECT_STREQ(orvex::tuning::PositionTuningProgram(loop), c.program);
        const auto signals = orvex::tuning::PositionLoggedSignals(loop);
        EXPECT_STREQ(signals[0], "Target_Position");
        EXPECT_STREQ(signals[1], "Load_Position");
        EXPECT_STREQ(signals[2], c.inner_reference);
        EXPECT_STREQ(signals[3], c.inner_response);
    }
}

using orvex::tuning::BandwidthBounds;
using orvex::tuning::DirectLoopBandwidths;
using orvex::tuning::DirectLoopPlant;

// A NEMA 23 on a 2 kHz position loop and an 800 Hz current loop.
constexpr DirectLoopPlant kPlant{.total_inertia_kgm2 = 1.3e-4,
                                 .torque_constant_Nm_per_A = 0.45,
                                 .rated_current_A = 2.8,
                                 .full_steps_per_rev = 200,
                                 .damping = 1.0,
                                 .period_s = 500e-6,
                                 .current_bandwidth_rad_s = 5026.5};

TEST(DirectLoopBandwidths, LowerBoundFollowsDetentOverInertiaUpperBoundTheSlowerLoop) {
    // The lower bound goes with the square root of the detent (holding torque) over the
    // inertia; the upper bound with the sampling rate until the current loop is the
    // slower of the two, and both fall as the damping widens the crossover.
    const BandwidthBounds base = DirectLoopBandwidths(kPlant);
    struct Case {
        const char* what;
        DirectLoopPlant plant;
        double min_ratio, max_ratio;  // against the base plant's bounds
    };
    auto with = [](auto change) {
        DirectLoopPlant p = kPlant;
        change(p);
        return p;
    };
    const Case cases[] = {
        {"four times the inertia", with([](auto& p) { p.total_inertia_kgm2 *= 4; }), 0.5, 1},
        {"four times the holding torque", with([](auto& p) { p.rated_current_A *= 4; }), 2, 1},
        {"twice the full steps", with([](auto& p) { p.full_steps_per_rev *= 2; }), std::sqrt(2.0),
         1},
        {"half the period, current loop binds", with([](auto& p) { p.period_s /= 2; }), 1,
         5026.5 / 30 / base.max_rad_s},
        {"a faster current loop too", with([](auto& p) {
             p.period_s /= 2;
             p.current_bandwidth_rad_s *= 4;
         }),
         1, 2},
        {"damping 2: crossover at 5 PB", with([](auto& p) { p.damping = 2; }), std::sqrt(3.0 / 5.0),
         3.0 / 5.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const BandwidthBounds b = DirectLoopBandwidths(c.plant);
        EXPECT_NEAR(b.min_rad_s / base.min_rad_s, c.min_ratio, 1e-9);
        EXPECT_NEAR(b.max_rad_s / base.max_rad_s, c.max_ratio, 1e-9);
    }
    // The base plant: sound from 8.6 Hz (2 % detent at a full step) to 26.5 Hz.
    EXPECT_NEAR(base.min_rad_s / (2 * std::numbers::pi), 8.58, 0.01);
    EXPECT_NEAR(base.max_rad_s / (2 * std::numbers::pi), 26.53, 0.01);
}

TEST(DirectLoopBandwidths, RefusalSaysWhereTheSoundRangeLies) {
    struct Case {
        BandwidthBounds bounds;
        double bandwidth_rad_s;
        const char* expected;  // a part of the message; empty: no refusal
    } cases[] = {
        {{100, 200}, 150, ""},
        {{100, 200}, 100, ""},
        {{100, 200}, 99, "between 15.9 Hz and 31.8 Hz"},
        {{100, 200}, 201, "between 15.9 Hz and 31.8 Hz"},
        {{200, 100}, 150, "No bandwidth suits"},
    };
    for (const Case& c : cases) {
        const std::string text =
            orvex::tuning::DirectLoopBandwidthRefusal(c.bounds, c.bandwidth_rad_s);
        if (*c.expected == 0)
            EXPECT_EQ(text, "") << c.bandwidth_rad_s;
        else
            EXPECT_NE(text.find(c.expected), std::string::npos) << text;
    }
}

}  // namespace
