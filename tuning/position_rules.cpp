#include "tuning/position_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "compute/gain_design.h"
#include "host/setup/setup.h"

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

BandwidthBounds DirectLoopBandwidths(const DirectLoopPlant& p) {
    const double a = 2 * p.damping + 1;
    const double holding_Nm = std::numbers::sqrt2 * p.torque_constant_Nm_per_A * p.rated_current_A;
    // The notches lie a full step (2 pi / N) apart: a loop that pushes the detent's
    // torque at an error of one full step pulls the shaft out of any notch beside the
    // target without waiting for its integral.
    const double step_rad = 2 * std::numbers::pi / p.full_steps_per_rev;
    const double stiffness_Nm_per_rad = kDetentShareOfHolding * holding_Nm / step_rad;
    BandwidthBounds b;
    b.min_rad_s = std::sqrt(stiffness_Nm_per_rad / (a * p.total_inertia_kgm2));
    b.max_rad_s = HighestFaithfulBandwidth(a, p.period_s, p.current_bandwidth_rad_s);
    return b;
}

std::optional<BandwidthBounds> DirectLoopBandwidths(const CMC_Setup* setup) {
    {
        axis::ScopedSilentLookup silent;
        for (const char* name : {"Jt", "K", "In", "NoMotorSteps", "Dump_P", "PB_C", "PB_P"})
            if (!setup->FindParameter(name)) return std::nullopt;
    }
    auto value = [setup](const char* name) { return setup->GetParameterValueInBaseUnit(name); };
    BandwidthBounds b = DirectLoopBandwidths({.total_inertia_kgm2 = value("Jt"),
                                              .torque_constant_Nm_per_A = value("K"),
                                              .rated_current_A = value("In"),
                                              .full_steps_per_rev = value("NoMotorSteps"),
                                              .damping = value("Dump_P"),
                                              .period_s = OuterLoopPeriod(setup),
                                              .current_bandwidth_rad_s = value("PB_C")});
    const CMC_Parameter* range = setup->FindParameter("PB_P");
    b.min_rad_s = std::max(b.min_rad_s, range->GetMinInBaseUnit());
    b.max_rad_s = std::min(b.max_rad_s, range->GetMaxInBaseUnit());
    return b;
}

std::string DirectLoopBandwidthRefusal(const BandwidthBounds& b, double w) {
    if (b.Contains(w)) return {};
    const double hz = 0.5 / std::numbers::pi;
    char text[512];
    if (b.Empty()) {
        std::snprintf(text, sizeof text,
                      "No bandwidth suits a position loop that commands current on this "
                      "setup: it must be above %.1f Hz to be stiffer than the motor's detent "
                      "(below, the shaft hunts around the target), and at most %.1f Hz for "
                      "its sampling period and the current loop. Run the position loop "
                      "through the speed loop, or sample it faster.",
                      b.min_rad_s * hz, b.max_rad_s * hz);
    } else {
        std::snprintf(text, sizeof text,
                      "The bandwidth of a position loop that commands current must be between "
                      "%.1f Hz and %.1f Hz on this setup: below, the motor's detent is stiffer "
                      "than the loop and the shaft hunts around the target; above, the loop "
                      "is too fast for its sampling period and the current loop.",
                      b.min_rad_s * hz, b.max_rad_s * hz);
    }
    return text;
}

}  // namespace orvex::tuning
