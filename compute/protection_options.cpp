#include "compute/protection_options.h"

#include <algorithm>
#include <cmath>

#include "compute/control_loop_options.h"
#include "compute/option_codec.h"
#include "compute/scales.h"
#include "compute/setup_access.h"
#include "host/link/drive_facts.h"
#include "host/setup/value_rules.h"

namespace orvex {

namespace {

// --- Protection control register ---

struct ProtectionFlag {
    const char* name;
    drive::PcrBit bit;
};

constexpr ProtectionFlag kOverCurrent{"isOverCurrent", drive::kPcrOverCurrent};
constexpr ProtectionFlag kMotorI2t{"isMotorI2t", drive::kPcrMotorI2t};
constexpr ProtectionFlag kMotorOverTemp{"isMotorOverTemp", drive::kPcrMotorOverTemperature};
constexpr ProtectionFlag kDriveOverTemp{"isDriveOverTemp", drive::kPcrDriveOverTemperature};
constexpr ProtectionFlag kOverVoltage{"isOverVoltage", drive::kPcrOverVoltage};
constexpr ProtectionFlag kUnderVoltage{"isUnderVoltage", drive::kPcrUnderVoltage};
constexpr ProtectionFlag kDriveI2t{"isDriveI2t", drive::kPcrDriveI2t};
constexpr ProtectionFlag kProtectionFlags[] = {kOverCurrent,   kMotorI2t,    kMotorOverTemp,
                                               kDriveOverTemp, kOverVoltage, kUnderVoltage,
                                               kDriveI2t};
// The bits of the 16-bit register that belong to other drive functions are kept as
// they are.
constexpr int kPcrKeptBits = 0xFFFF & ~drive::kPcrProtectionBits;

int ReadBackFlag(CMC_Setup* s, const ProtectionFlag& flag, double max = 1.0) {
    if (!HasAll(s, {flag.name, "PCR"})) return 0;
    const int bit = (TruncToInt32(Base(s, "PCR")) & flag.bit) ? 1 : 0;
    return SetRangedValue(s, flag.name, 0.0, max, bit);
}

// --- I2t ---

// 2^26: the drive's I2t integrator scale. The limit option is in units of 2^26 / 32767^2
// squared current counts (0.06250381...).
constexpr double kI2tScale = 67108864.0;
constexpr double kI2tLimitUnit = kI2tScale / (kFixedOne * kFixedOne);
// Whole samples below which the drive's I2t time constant is not resolved.
constexpr double kI2tMinSamples = 2048.0;
// The warning fires this long [s] before the trip.
constexpr double kI2tWarningLead_s = 2.0;

struct I2tSide {
    const char* level_option;  // rated current in counts
    const char* time_option;   // time scale
    const char* limit_option;  // integral limit
    const char* warning_option;
    const char* current;  // trip current [A]
    const char* time;     // time to trip at that current [s]
    const char* rated;    // rated current [A]
    const char* peak;     // peak current [A]
    double min_current_per_rated;
};

constexpr I2tSide kDriveI2tSide{"II2TPROT_D",   "SFI2T_D", "I2TINTLIM_D",
                                "II2TWARLIM_D", "I_I2t_D", "t_I2t_D",
                                "InPS",         "ImaxPS",  1.0};
// The motor's I2t trips at no less than 1.1 x its rated current.
constexpr I2tSide kMotorI2tSide{"II2TPROT_M",  "SFI2T_M", "I2TINTLIM_M",
                                "I2TWARLIM_M", "I_I2t_M", "t_I2t_M",
                                "In",          "ImaxM",   1.1};

// ((k_I I)^2 - (k_I I_rated)^2) x (t_window / T_S) x 2^26 x T_S / t / 32767^2: the
// integral reached after t_window at the trip current (t_window = t: the limit).
double I2tIntegral(const CMC_Setup* s, const I2tSide& side, double window_s) {
    const double k_i = GetCurrentScale(s);
    const double i = k_i * Base(s, side.current);
    const double rated = k_i * Base(s, side.rated);
    const double ts = GetSpeedLoopPeriod(s);
    const double t = Base(s, side.time);
    return (i * i - rated * rated) * (window_s / ts) * kI2tScale * ts / t / (kFixedOne * kFixedOne);
}

bool HasI2tLimitNames(const CMC_Setup* s, const I2tSide& side, const char* target) {
    return HasAllOf(
        s,
        {{target, side.current, side.rated, side.time}, kCurrentScaleNames, kSpeedLoopPeriodNames});
}

int ComputeI2tLimit(CMC_Setup* s, const I2tSide& side) {
    if (!HasI2tLimitNames(s, side, side.limit_option)) return 0;
    SetBase(s, side.limit_option, I2tIntegral(s, side, Base(s, side.time)));
    return 1;
}

int ComputeI2tWarning(CMC_Setup* s, const I2tSide& side) {
    if (!HasI2tLimitNames(s, side, side.warning_option)) return 0;
    SetBase(s, side.warning_option, I2tIntegral(s, side, Base(s, side.time) - kI2tWarningLead_s));
    return 1;
}

int ComputeI2tTimeScale(CMC_Setup* s, const I2tSide& side) {
    if (!HasAll(s, {side.time_option, "Ts_S", side.time})) return 0;
    SetBase(s, side.time_option, Base(s, "Ts_S") * kI2tScale / Base(s, side.time));
    return 1;
}

// The exact inverse of the limit conversion. (Rounding 32767^2 / 2^26 to 16 would
// return the current 0.003 % high and let it creep up on every forward and read-back
// cycle.)
int ReadBackI2tCurrent(CMC_Setup* s, const I2tSide& side) {
    if (!HasAllOf(s,
                  {{side.current, side.limit_option, side.rated, side.peak}, kCurrentScaleNames}))
        return 0;
    const double k_i = GetCurrentScale(s);
    const double rated = Base(s, side.rated);
    const double rated_counts = rated * k_i;
    const double current_A =
        std::sqrt(Base(s, side.limit_option) / kI2tLimitUnit + rated_counts * rated_counts) / k_i;
    return SetRangedValue(s, side.current, side.min_current_per_rated * rated, Base(s, side.peak),
                          current_A);
}

int ReadBackI2tTime(CMC_Setup* s, const I2tSide& side, double period_s) {
    const double ts = GetSpeedLoopPeriod(s);
    return SetRangedValue(s, side.time, kI2tMinSamples * ts, kI2tScale * ts,
                          period_s * kI2tScale / Base(s, side.time_option));
}

// --- Control errors ---

int ComputeErrorTime(CMC_Setup* s, const char* option, const char* enable, const char* time) {
    if (!HasAll(s, {option, enable, time, "Ts_S"})) return 0;
    SetBase(s, option,
            axis::IsSwitchOn(Base(s, enable)) ? Base(s, time) / Base(s, "Ts_S")
                                              : drive::kProtectionOff);
    return 1;
}

int ReadBackErrorEnable(CMC_Setup* s, const char* enable, const char* option) {
    if (!HasAll(s, {enable, option})) return 0;
    return SetRangedValue(s, enable, 0.0, 1.0,
                          Base(s, option) == drive::kProtectionOff ? 0.0 : 1.0);
}

// A protection's delay from its slow-sample counter option, ranged from 1 ms up to the
// counter's 15-bit reach (the period from the clock registers).
int ReadBackProtectionDelay(CMC_Setup* s, const char* time, const char* option) {
    if (!HasAllOf(s, {{time, option}, kSpeedLoopPeriodNames})) return 0;
    const double ts = GetSpeedLoopPeriod(s);
    return SetRangedValue(s, time, 0.001, kFixedOne * ts, Base(s, option) * ts);
}

}  // namespace

// --- Protection control register --------------------------------------------------------

int ComputeOption_PCR(CMC_Setup* s) {
    if (!HasAll(s, {"PCR", kOverCurrent.name, kMotorI2t.name, kMotorOverTemp.name,
                    kDriveOverTemp.name, kOverVoltage.name, kUnderVoltage.name, kDriveI2t.name}))
        return 0;
    int pcr = TruncToInt32(Base(s, "PCR")) & kPcrKeptBits;
    for (const ProtectionFlag& f : kProtectionFlags)
        if (axis::IsSwitchOn(Base(s, f.name))) pcr |= f.bit;
    SetBase(s, "PCR", pcr);
    return 1;
}

int ReadBack_isOverCurrent(CMC_Setup* s) {
    return ReadBackFlag(s, kOverCurrent);
}
int ReadBack_isMotori2t(CMC_Setup* s) {
    return ReadBackFlag(s, kMotorI2t);
}
int ReadBack_isDriveOverTemp(CMC_Setup* s) {
    return ReadBackFlag(s, kDriveOverTemp);
}
int ReadBack_isOverVoltage(CMC_Setup* s) {
    return ReadBackFlag(s, kOverVoltage);
}
int ReadBack_isUnderVoltage(CMC_Setup* s) {
    return ReadBackFlag(s, kUnderVoltage);
}
int ReadBack_isDriveI2t(CMC_Setup* s) {
    return ReadBackFlag(s, kDriveI2t);
}

int ReadBack_isMotorOverTemp(CMC_Setup* s) {
    // A drive without a motor temperature input pins the switch at 0. Most setups have
    // no such setting, which is not worth a report.
    int disabled = 0;
    {
        axis::ScopedSilentLookup silent;
        disabled = s->GetIntOption("DisableMotorTemperature");
    }
    return ReadBackFlag(s, kMotorOverTemp, disabled != 0 ? 0.0 : 1.0);
}

// --- Supply voltage and temperature -----------------------------------------------------

int ComputeOption_UMAXPROT(CMC_Setup* s) {
    if (!HasAll(s, {"UMAXPROT", "UMAX_PROT", "VdcMaxMeasurable"})) return 0;
    const double counts = Base(s, "UMAX_PROT") * GetVoltageMeasureScale(s);
    if (std::isfinite(counts)) SetBase(s, "UMAXPROT", TruncToInt32(counts));
    return 1;
}

int ReadBack_UMAX_PROT(CMC_Setup* s) {
    if (!HasAll(s, {"UMAX_PROT", "UMAXPROT", "VdcMaxMeasurable"})) return 0;
    const double k_u = GetVoltageMeasureScale(s);
    const double reg = Base(s, "UMAXPROT");
    const double volts =
        InverseOfTruncatedRegister(reg / k_u, reg, [k_u](double u) { return u * k_u; });
    return SetRangedValue(s, "UMAX_PROT", 1.0, 2000.0, volts);
}

int ComputeOption_UMINPROT(CMC_Setup* s) {
    if (!HasAll(s, {"UMINPROT", "UMIN_PROT", "VdcMaxMeasurable"})) return 0;
    SetBase(s, "UMINPROT", Base(s, "UMIN_PROT") * GetVoltageMeasureScale(s));
    return 1;
}

int ReadBack_UMIN_PROT(CMC_Setup* s) {
    if (!HasAll(s, {"UMIN_PROT", "UMINPROT", "VdcMaxMeasurable"})) return 0;
    return SetRangedValue(s, "UMIN_PROT", 1.0, 2000.0,
                          Base(s, "UMINPROT") / GetVoltageMeasureScale(s));
}

int ComputeOption_T2MAXPROT(CMC_Setup* s) {
    if (!HasAll(s,
                {"T2MAXPROT", "DriveTempOutputAt0oC", "DriveTempSensorGain", "Temp_2", "ADCrange"}))
        return 0;
    const double adc_max = Compute_ADCMaxValue(s);
    const double sensor_V =
        Base(s, "DriveTempOutputAt0oC") + Base(s, "DriveTempSensorGain") * Base(s, "Temp_2");
    SetBase(s, "T2MAXPROT", adc_max * sensor_V / Base(s, "ADCrange"));
    return 1;
}

int ReadBack_Temp_2(CMC_Setup* s) {
    if (!HasAll(s,
                {"Temp_2", "T2MAXPROT", "DriveTempOutputAt0oC", "DriveTempSensorGain", "ADCrange"}))
        return 0;
    const double adc_max = Compute_ADCMaxValue(s);
    const double sensor_V =
        s->GetParameterValueInInternalUnit("T2MAXPROT") * Base(s, "ADCrange") / adc_max;
    return SetRangedValue(
        s, "Temp_2", -100.0, 1000.0,
        (sensor_V - Base(s, "DriveTempOutputAt0oC")) / Base(s, "DriveTempSensorGain"));
}

int ComputeOption_T1MAXPROT(CMC_Setup* s) {
    if (!HasAll(s, {"T1MAXPROT"})) return 0;
    SetBase(s, "T1MAXPROT", kFixedOne);
    return 1;
}

// --- I2t --------------------------------------------------------------------------------

int ComputeOption_II2TPROT_D(CMC_Setup* s) {
    if (!HasAllOf(s, {{"II2TPROT_D", "InPS"}, kCurrentScaleNames})) return 0;
    s->SetParameterValueInInternalUnit("II2TPROT_D", Base(s, "InPS") * GetCurrentScale(s));
    return 1;
}

int ComputeOption_II2TPROT_M(CMC_Setup* s) {
    if (!HasAllOf(s, {{"II2TPROT_M", "In"}, kCurrentScaleNames})) return 0;
    SetBase(s, "II2TPROT_M", Base(s, "In") * GetCurrentScale(s));
    return 1;
}

int ComputeOption_SFI2T_D(CMC_Setup* s) {
    return ComputeI2tTimeScale(s, kDriveI2tSide);
}
int ComputeOption_SFI2T_M(CMC_Setup* s) {
    return ComputeI2tTimeScale(s, kMotorI2tSide);
}
int ComputeOption_I2TINTLIM_D(CMC_Setup* s) {
    return ComputeI2tLimit(s, kDriveI2tSide);
}
int ComputeOption_I2TINTLIM_M(CMC_Setup* s) {
    return ComputeI2tLimit(s, kMotorI2tSide);
}
int ComputeOption_II2TWARLIM_D(CMC_Setup* s) {
    return ComputeI2tWarning(s, kDriveI2tSide);
}
int ComputeOption_I2TWARLIM_M(CMC_Setup* s) {
    return ComputeI2tWarning(s, kMotorI2tSide);
}
int ReadBack_I_I2t_D(CMC_Setup* s) {
    return ReadBackI2tCurrent(s, kDriveI2tSide);
}
int ReadBack_I_I2t_M(CMC_Setup* s) {
    return ReadBackI2tCurrent(s, kMotorI2tSide);
}

int ReadBack_t_I2t_D(CMC_Setup* s) {
    const I2tSide& side = kDriveI2tSide;
    if (!HasAllOf(s, {{side.time, side.time_option, "Ts_S"}, kSpeedLoopPeriodNames})) return 0;
    return ReadBackI2tTime(s, side, Base(s, "Ts_S"));
}

int ReadBack_t_I2t_M(CMC_Setup* s) {
    const I2tSide& side = kMotorI2tSide;
    if (!HasAllOf(s, {{side.time, side.time_option}, kSpeedLoopPeriodNames})) return 0;
    return ReadBackI2tTime(s, side, GetSpeedLoopPeriod(s));
}

// --- Over-current and control errors ------------------------------------------------------

int ComputeOption_IMAXPROT(CMC_Setup* s) {
    if (!HasAllOf(s, {{"IMAXPROT", "Imax_Prot"}, kCurrentScaleNames})) return 0;
    SetBase(s, "IMAXPROT", Base(s, "Imax_Prot") * GetCurrentScale(s));
    return 1;
}

int ReadBack_Imax_Prot(CMC_Setup* s) {
    if (!HasAllOf(s, {{"Imax_Prot", "IMAXPROT", "ImaxM"}, kCurrentScaleNames})) return 0;
    return SetRangedValue(s, "Imax_Prot", 0.001, std::min(Base(s, "ImaxM"), Base(s, "ImaxPS")),
                          Base(s, "IMAXPROT") / GetCurrentScale(s));
}

int ReadBack_TestProtectionCurrent(CMC_Setup* s) {
    if (!HasAllOf(s, {{"TestProtectionCurrent", "IMAXPROT", "ImaxM"}, kCurrentScaleNames}))
        return 0;
    return SetRangedValue(s, "TestProtectionCurrent", 0.0,
                          std::min(Base(s, "ImaxM"), Base(s, "ImaxPS")),
                          Base(s, "IMAXPROT") / GetCurrentScale(s));
}

int ComputeOption_TIMAXPROT(CMC_Setup* s) {
    if (!HasAll(s, {"TIMAXPROT", "time_Imax_Prot", "Ts_S"})) return 0;
    SetBase(s, "TIMAXPROT", Base(s, "time_Imax_Prot") / Base(s, "Ts_S"));
    return 1;
}

int ReadBack_time_Imax_Prot(CMC_Setup* s) {
    return ReadBackProtectionDelay(s, "time_Imax_Prot", "TIMAXPROT");
}

int ComputeOption_ERRMAX(CMC_Setup* s) {
    if (!HasAllOf(s, {{"ERRMAX", "ERR_position"}, kLoadPositionScaleNames})) return 0;
    SetBase(s, "ERRMAX", Base(s, "ERR_position") * std::abs(GetLoadPositionScale(s)));
    return 1;
}

int ReadBack_ERR_position(CMC_Setup* s) {
    if (!HasAllOf(s, {{"ERR_position", "ERRMAX"}, kLoadPositionScaleNames})) return 0;
    const double k_p = std::abs(GetLoadPositionScale(s));
    return SetRangedValue(s, "ERR_position", 0.0, kFixedOne / k_p, Base(s, "ERRMAX") / k_p);
}

int ComputeOption_TERRMAX(CMC_Setup* s) {
    return ComputeErrorTime(s, "TERRMAX", "isPositionControlError", "time_ERR_pos");
}

int ReadBack_isPositionControlError(CMC_Setup* s) {
    return ReadBackErrorEnable(s, "isPositionControlError", "TERRMAX");
}

int ReadBack_time_ERR_pos(CMC_Setup* s) {
    return ReadBackProtectionDelay(s, "time_ERR_pos", "TERRMAX");
}

int ComputeOption_SERRMAX(CMC_Setup* s) {
    if (!HasAllOf(s, {{"SERRMAX", "ERR_speed"}, kLoadSpeedScaleNames})) return 0;
    SetBase(s, "SERRMAX", Base(s, "ERR_speed") * std::abs(GetLoadSpeedScale(s)));
    return 1;
}

int ReadBack_ERR_speed(CMC_Setup* s) {
    if (!HasAllOf(s, {{"ERR_speed", "SERRMAX"}, kLoadSpeedScaleNames})) return 0;
    const double k_s = std::abs(GetLoadSpeedScale(s));
    return SetRangedValue(s, "ERR_speed", 0.001, kFixedOne / k_s, Base(s, "SERRMAX") / k_s);
}

int ComputeOption_TSERRMAX(CMC_Setup* s) {
    return ComputeErrorTime(s, "TSERRMAX", "isSpeedControlError", "time_ERR_spd");
}

int ReadBack_isSpeedControlError(CMC_Setup* s) {
    return ReadBackErrorEnable(s, "isSpeedControlError", "TSERRMAX");
}

int ReadBack_time_ERR_spd(CMC_Setup* s) {
    return ReadBackProtectionDelay(s, "time_ERR_spd", "TSERRMAX");
}

// --- Voltage boost ----------------------------------------------------------------------------

int ComputeOption_BOOST(CMC_Setup* s) {
    if (!HasAll(s, {"BOOST", "R", "In", "InPS", "Vdc"})) return 0;
    const double boost_V = Base(s, "R") * std::min(Base(s, "In"), Base(s, "InPS"));
    s->SetParameterValueInInternalUnit("BOOST", boost_V * GetPwmVoltageScale(s));
    return 1;
}

}  // namespace orvex
