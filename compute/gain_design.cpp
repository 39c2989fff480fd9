#include "compute/gain_design.h"

#include <cmath>
#include <initializer_list>
#include <utility>

#include "compute/option_codec.h"
#include "compute/scales.h"

namespace orvex {
namespace {

using GainWrite = std::pair<const char*, double>;

// Writes the gains in the order given, or none of them when one is not finite: the
// setup would refuse that one alone and leave the loop with a mix of old and new gains.
int WriteGains(CMC_Setup* setup, std::initializer_list<GainWrite> gains) {
    for (const auto& [name, value] : gains)
        if (!std::isfinite(value)) return 0;
    for (const auto& [name, value] : gains) setup->SetParameterValueInBaseUnit(name, value);
    return 1;
}

}  // namespace

double OuterLoopPeriod(const CMC_Setup* setup) {
    bool fast = false;
    {
        axis::ScopedSilentLookup silent;
        const CMC_Parameter* p = setup->FindParameter("PosSpd_in_FastLoop");
        fast = p && p->GetValueInBaseUnit() != 0.0;
    }
    return fast ? GetCurrentLoopPeriod(setup) : GetSpeedLoopPeriod(setup);
}

int DesignCurrentControllerGains(CMC_Setup* setup) {
    if (!HasAll(setup, {"L", "R", "Kp_C_scl", "Ki_C_scl", "PB_C", "Dump_C"})) return 0;
    const double L = setup->GetParameterValueInBaseUnit("L");
    const double R = setup->GetParameterValueInBaseUnit("R");
    const double bandwidth = setup->GetParameterValueInBaseUnit("PB_C");
    const double damping = setup->GetParameterValueInBaseUnit("Dump_C");
    const double T_C = GetCurrentLoopPeriod(setup);

    const double tau = L / R;
    // Volts per ampere of the winding, as PWM counts per current count.
    const double g = R * GetPwmVoltageScale(setup) / GetCurrentScale(setup);
    double kp = 0.0, ki = 0.0;
    if (tau > 4.0 * T_C) {
        // Slow winding: the PI zero cancels the electrical pole.
        kp = g * (2.0 * damping * bandwidth * tau - 1.0);
        ki = g * bandwidth * bandwidth * tau * T_C;
    } else {
        // A winding within four samples of the loop: the proportional gain is set from
        // the sampling delay alone and the bandwidth only shapes the integral action.
        kp = g * (tau * 0.5 / std::sqrt(2.0) / T_C - 1.0);
        ki = g * bandwidth * T_C;
    }
    return WriteGains(setup, {{"Kp_C_scl", kp}, {"Ki_C_scl", ki}});
}

int DesignSpeedControllerGains(CMC_Setup* setup) {
    const double T = OuterLoopPeriod(setup);
    if (!HasAll(setup, {"Ki_S_scl", "Kp_S_scl", "PB_S", "Jt", "K", "Dump_S"})) return 0;
    const double bandwidth = setup->GetParameterValueInBaseUnit("PB_S");
    const double Jt = setup->GetParameterValueInBaseUnit("Jt");
    const double K = setup->GetParameterValueInBaseUnit("K");
    const double damping = setup->GetParameterValueInBaseUnit("Dump_S");

    // Current counts per speed count that give the inertia one unit of acceleration.
    const double c = Jt * GetCurrentScale(setup) / (GetMotorSpeedScale(setup) * K);
    const double ki = bandwidth * bandwidth * T * c;
    const double kp = 2.0 * damping * bandwidth * c;
    return WriteGains(setup, {{"Ki_S_scl", ki}, {"Kp_S_scl", kp}});
}

int DesignPositionControllerGains(CMC_Setup* setup) {
    const double T = OuterLoopPeriod(setup);
    if (!HasAll(setup, {"PositionControlType", "Ki_P_scl", "Kp_P_scl", "Kd_P_scl", "PB_P", "Jt",
                        "K", "Dump_P"}))
        return 0;
    const bool commands_speed =
        TruncToInt32(setup->GetParameterValueInBaseUnit("PositionControlType")) == 1;
    const double bandwidth = setup->GetParameterValueInBaseUnit("PB_P");
    const double Jt = setup->GetParameterValueInBaseUnit("Jt");
    const double K = setup->GetParameterValueInBaseUnit("K");
    const double damping = setup->GetParameterValueInBaseUnit("Dump_P");
    const double k_Sm = GetMotorSpeedScale(setup);
    const double k_Pm = GetMotorPositionScale(setup);

    if (commands_speed) {
        // The speed loop is taken as ideal: a PI on position error whose output is a
        // speed reference.
        const double ratio = k_Sm / k_Pm;
        return WriteGains(setup, {{"Ki_P_scl", bandwidth * bandwidth * T * ratio},
                                  {"Kp_P_scl", 2.0 * damping * bandwidth * ratio},
                                  {"Kd_P_scl", 0.0}});
    }
    // A PID straight onto current: the inertia is a double integrator, the three poles
    // placed around the bandwidth.
    const double c = Jt * GetCurrentScale(setup) / (k_Pm * K);
    const double a = 2.0 * damping + 1.0;
    return WriteGains(setup, {{"Ki_P_scl", bandwidth * bandwidth * bandwidth * T * c},
                              {"Kp_P_scl", a * bandwidth * bandwidth * c},
                              {"Kd_P_scl", a * bandwidth * c / T}});
}

}  // namespace orvex
