#include "tuning/position_rules.h"

namespace orvex::tuning {

const char* PositionTuningProgram(const PositionLoopStructure& loop) {
    return loop.Cascaded() ? "Position_Controller_Tuning_Test_with_SpdCtrl"
                           : "Position_Controller_Tuning_Test_without_SpdCtrl";
}

std::array<const char*, 4> PositionLoggedSignals(const PositionLoopStructure& loop) {
    if (loop.Cascaded())
        return {"Target_Position", "Load_Position", "Speed_Reference", "Load_Speed"};
    return {"Target_Position", "Load_Position", "Current_Reference", "Motor_Current"};
}

PositionControlStates PositionControlStatesFor(const PositionLoopStructure& loop) {
    PositionControlStates s;
    s.speed_limit = loop.SpeedLimitApplies();
    const bool position_mode = loop.control_mode == 0;
    if (loop.has_speed_forward) {
        const bool known_type = loop.position_control_type == 0 || loop.Cascaded();
        const bool on = loop.pos_spd_in_fast_loop == 0 && position_mode && known_type;
        s.feedforward_frame = s.speed_feedforward = s.acceleration_feedforward = on;
    } else {
        s.speed_feedforward = position_mode && loop.Cascaded();
        s.acceleration_feedforward =
            !(position_mode && !loop.Cascaded() && loop.pos_spd_in_fast_loop == 1);
    }
    return s;
}

}  // namespace orvex::tuning
