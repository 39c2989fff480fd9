#include "compute/scales.h"

#include <cmath>
#include <numbers>

#include "compute/option_codec.h"
#include "compute/setup_access.h"

namespace orvex {

namespace {
// Motor radians per load unit (load radian or metre); negative for a reversing
// transmission.
double Ratio(const CMC_Setup* s) {
    return Base(s, "Motor_transmission") / Base(s, "Load_transmission");
}
// Encoder counts per motor revolution, cut to a multiple of 4 (quadrature).
double CountsPerRev(const CMC_Setup* s) {
    return 4.0 * TruncToInt32(s->GetParameterValueInInternalUnit("MECRESL") / 4.0);
}
}  // namespace

double GetCurrentLoopPeriod(const CMC_Setup* s) {
    return Base(s, "CLPER") * 2.0 * Base(s, "PWMPER") / Base(s, "DSP_freq");
}

double GetSpeedLoopPeriod(const CMC_Setup* s) {
    return Base(s, "SLPER") * 2.0 * Base(s, "PWMPER") / Base(s, "DSP_freq");
}

double GetVoltageMeasureScale(const CMC_Setup* s) {
    return AdcMax(s) / Base(s, "VdcMaxMeasurable");
}
double GetCurrentScale(const CMC_Setup* s) {
    return AdcMax(s) / (2.0 * Base(s, "ImaxPS"));
}
double GetPwmVoltageScale(const CMC_Setup* s) {
    return kFixedOne / Base(s, "Vdc");
}
double GetMotorPositionScale(const CMC_Setup* s) {
    return CountsPerRev(s) / (2 * std::numbers::pi);
}
double GetLoadPositionScale(const CMC_Setup* s) {
    return GetMotorPositionScale(s) * Ratio(s);
}

double GetMotorSpeedScale(const CMC_Setup* s) {
    return GetSpeedLoopPeriod(s) * CountsPerRev(s) / (2 * std::numbers::pi);
}

double GetLoadSpeedScale(const CMC_Setup* s) {
    return GetMotorSpeedScale(s) * Ratio(s);
}

double GetLoadAccelerationScale(const CMC_Setup* s) {
    const double ts = GetSpeedLoopPeriod(s);
    return Base(s, "No_encoder_lines") * 2.0 * ts * ts / std::numbers::pi * Ratio(s);
}

double GetLoadJerkScale(const CMC_Setup* s) {
    const double ts = GetSpeedLoopPeriod(s);
    return Base(s, "No_encoder_lines") * 2.0 * ts * ts * ts / std::numbers::pi * Ratio(s);
}

double GetAccelerationFeedForwardShift(const CMC_Setup* s) {
    return EncodeGainShift(Base(s, "KFFA_scl"));
}

int ComputeOption_PWMPER(CMC_Setup* s) {
    if (!HasAll(s, {"PWMPER", "DSP_freq", "PWM_freq"})) return 0;
    s->SetParameterValueInBaseUnit("PWMPER", Base(s, "DSP_freq") * 0.5 / Base(s, "PWM_freq"));
    return 1;
}

int ReadBack_PWM_freq(CMC_Setup* s) {
    if (!HasAll(s, {"PWM_freq", "DSP_freq", "PWMPER"})) return 0;
    s->SetParameterValueInBaseUnit("PWM_freq", Base(s, "DSP_freq") * 0.5 / Base(s, "PWMPER"));
    return 1;
}

int ReadBack_PWMperiod(CMC_Setup* s) {
    if (!HasAll(s, {"PWMperiod", "DSP_freq", "PWMPER"})) return 0;
    s->SetParameterValueInBaseUnit("PWMperiod", Base(s, "PWMPER") * 2.0 / Base(s, "DSP_freq"));
    return 1;
}

int ReadBack_Ts_C(CMC_Setup* s) {
    if (!HasAll(s, {"Ts_C", "CLPER", "PWMPER", "DSP_freq"})) return 0;
    s->SetParameterValueInBaseUnit("Ts_C", GetCurrentLoopPeriod(s));
    return 1;
}

int ReadBack_Ts_S(CMC_Setup* s) {
    if (!HasAll(s, {"Ts_S", "SLPER", "PWMPER", "DSP_freq"})) return 0;
    s->SetParameterValueInBaseUnit("Ts_S", GetSpeedLoopPeriod(s));
    return 1;
}

}  // namespace orvex
