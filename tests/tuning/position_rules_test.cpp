// How the position tuning test follows the drive's loop structure: the program it
// runs, the signals it logs, the controls it allows.
#include "tuning/position_rules.h"

#include <gtest/gtest.h>

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

}  // namespace
