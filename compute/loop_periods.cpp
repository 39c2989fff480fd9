#include "compute/loop_periods.h"

#include <cmath>
#include <vector>

#include "compute/sequences.h"

namespace orvex {
namespace {

const CMC_UnitType* TypeOfBaseUnit(const CMC_Setup& setup, const char* unit) {
    const CMC_Unit* base = setup.GetUnits()->FindBaseUnit(unit);
    return base ? base->GetUnitType() : nullptr;
}

struct KeptValue {
    CMC_Parameter* parameter;
    double base_value;
};

void RoundTrip(CMC_Setup* setup) {
    ComputeOptionsFromParameters(setup);
    ReadBackParametersFromOptions(setup);
}

// The I2t protection integrates I^2 over time: when its time could not be kept, the
// current moves so that I^2 x t stays what the user set.
void CorrectI2tCurrent(CMC_Setup* setup, const char* current, const char* time,
                       double expected_time_s) {
    CMC_Parameter* i = setup->FindParameter(current);
    CMC_Parameter* t = setup->FindParameter(time);
    if (!i || !t) return;
    const double actual_s = t->GetValueInBaseUnit();
    if (actual_s == expected_time_s || !(actual_s > 0.0) || !(expected_time_s > 0.0)) return;
    i->SetValueInBaseUnit(i->GetValueInBaseUnit() * std::sqrt(expected_time_s / actual_s));
}

}  // namespace

PeriodDependence PeriodDependenceOf(const CMC_Setup& setup, const CMC_Parameter& p) {
    if (p.IsOption()) return PeriodDependence::kNone;
    const CMC_UnitType* type = p.GetUnitType();
    if (!type) return PeriodDependence::kNone;
    auto is = [&](const char* unit) { return type == TypeOfBaseUnit(setup, unit); };
    if (is("s")) return PeriodDependence::kTime;
    if (is("rad/s") || is("m/s")) return PeriodDependence::kSpeed;
    if (is("A/s")) return PeriodDependence::kCurrentSlope;
    if (is("rad/s^2") || is("m/s^2")) return PeriodDependence::kAcceleration;
    return PeriodDependence::kNone;
}

double LoopDividerForPeriod(const CMC_Setup& setup, double period_s) {
    const double dsp_freq_Hz = setup.GetParameterValueInBaseUnit("DSP_freq");
    const double pwmper = setup.GetParameterValueInBaseUnit("PWMPER");
    return std::floor(dsp_freq_Hz * period_s * 0.5 / pwmper + 0.5);
}

PeriodChangeOutcome KeepValuesAcrossSlowLoopPeriodChange(CMC_Setup* setup) {
    PeriodChangeOutcome outcome;
    if (!setup) return outcome;
    std::vector<KeptValue> kept;
    const CMC_Parameters parameters = setup->GetParameters();
    for (int i = 0; i < parameters.GetParametersCount(); ++i) {
        CMC_Parameter* p = parameters[i];
        if (PeriodDependenceOf(*setup, *p) != PeriodDependence::kNone)
            kept.push_back({p, p->GetValueInBaseUnit()});
    }
    double expected_t_drive_s = 0.0, expected_t_motor_s = 0.0;
    {
        axis::ScopedSilentLookup silent;
        if (const CMC_Parameter* t = setup->FindParameter("t_I2t_D"))
            expected_t_drive_s = t->GetValueInBaseUnit();
        if (const CMC_Parameter* t = setup->FindParameter("t_I2t_M"))
            expected_t_motor_s = t->GetValueInBaseUnit();
    }

    // Registers and the ranges that follow from the period, for the new period. A
    // register that the new period overflows reads back wrong here; the kept values
    // replace what the read-back wrote.
    RoundTrip(setup);
    for (const KeptValue& k : kept) {
        k.parameter->SetValueInBaseUnit(k.base_value);
        ++outcome.kept;
        if (k.parameter->GetValueInBaseUnit() != k.base_value) ++outcome.clamped;
    }
    {
        axis::ScopedSilentLookup silent;
        CorrectI2tCurrent(setup, "I_I2t_D", "t_I2t_D", expected_t_drive_s);
        CorrectI2tCurrent(setup, "I_I2t_M", "t_I2t_M", expected_t_motor_s);
    }
    RoundTrip(setup);
    return outcome;
}

}  // namespace orvex
