#include "compute/control_loop_options.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <string_view>

#include "compute/gain_table.h"
#include "compute/option_codec.h"
#include "compute/scales.h"
#include "compute/setup_access.h"

namespace orvex {

namespace {

int Int(const CMC_Setup* s, const char* name) {
    return TruncToInt32(Base(s, name));
}

// A gain's row of the gain table, looked up while compiling: a name missing from the
// table runs off its end, which does not compile.
constexpr const GainOptions& Gain(std::string_view name) {
    std::size_t i = 0;
    while (name != kGainOptions[i].gain) ++i;
    return kGainOptions[i];
}

constexpr const GainOptions& kKpC = Gain("Kp_C_scl");
constexpr const GainOptions& kKiC = Gain("Ki_C_scl");
constexpr const GainOptions& kKpS = Gain("Kp_S_scl");
constexpr const GainOptions& kKiS = Gain("Ki_S_scl");
constexpr const GainOptions& kKpP = Gain("Kp_P_scl");
constexpr const GainOptions& kKiP = Gain("Ki_P_scl");
constexpr const GainOptions& kKdP = Gain("Kd_P_scl");
constexpr const GainOptions& kKffS = Gain("KFFS_scl");
constexpr const GainOptions& kKpT = Gain("Kp_T_scl");
constexpr const GainOptions& kKiT = Gain("Ki_T_scl");
constexpr const GainOptions& kKffA = Gain("KFFA_scl");

int EncodeShift(CMC_Setup* s, const GainOptions& f) {
    if (!HasAll(s, {f.gain, f.mantissa, f.shift})) return 0;
    SetBase(s, f.shift, EncodeGainShift(Base(s, f.gain)));
    return 1;
}

int EncodeMantissa(CMC_Setup* s, const GainOptions& f) {
    if (!HasAll(s, {f.gain, f.mantissa, f.shift})) return 0;
    SetBase(s, f.mantissa, EncodeGainMantissa(Base(s, f.gain)));
    return 1;
}

int Decode(CMC_Setup* s, const GainOptions& f) {
    return DecodeGainOptions(s, f.gain, f.mantissa, f.shift);
}

// The acceleration feed-forward's shift does not fit one option: the drive splits it
// at 11 between "SFTAFFW" and "SFTKFF".
constexpr double kAccelerationShiftSplit = 11.0;
const std::initializer_list<const char*> kAccelerationFeedForwardNames = {
    kKffA.gain, kKffA.shift, kKffA.high_shift, kKffA.mantissa};

// In position mode with PositionControlType 1 the position controller's output is a
// speed reference, saturated at the speed limit; otherwise it is a current.
bool PositionLoopDrivesSpeedLoop(const CMC_Setup* s) {
    return Int(s, "PositionControlType") == 1 && Int(s, "ControlMode") == 0;
}

// Bit 9 of "ACR" is set when the speed loop is closed (speed mode, or position mode
// through the speed loop); the current limit then sits in the speed loop's saturation.
constexpr int kAcrSpeedLoopClosedBit = 1 << 9;

// The current limit the closed loops saturate at [A].
double CurrentLimitFromSaturation(const CMC_Setup* s) {
    const bool speed_loop_closed = (TruncToInt32(Base(s, "ACR")) & kAcrSpeedLoopClosedBit) != 0;
    const double saturation = Base(s, speed_loop_closed ? "SATS" : "SATP");
    return (kFixedOne - saturation) / GetCurrentScale(s);
}

// Corner frequency [1/s] shown when the current controller output filter is off.
constexpr double kDefaultOutputFilter_per_s = 5000.0;

double OutputFilterCoefficient(double corner_per_s, double period_s) {
    return (1.0 - std::exp(-corner_per_s * period_s)) * kFixedOne;
}

}  // namespace

// --- Gains -------------------------------------------------------------------------------

int ComputeOption_SFTKPI(CMC_Setup* s) {
    return EncodeShift(s, kKpC);
}
int ComputeOption_KPI(CMC_Setup* s) {
    return EncodeMantissa(s, kKpC);
}
int ComputeOption_SFTKII(CMC_Setup* s) {
    return EncodeShift(s, kKiC);
}
int ComputeOption_KII(CMC_Setup* s) {
    return EncodeMantissa(s, kKiC);
}
int ComputeOption_SFTKPS(CMC_Setup* s) {
    return EncodeShift(s, kKpS);
}
int ComputeOption_KPS(CMC_Setup* s) {
    return EncodeMantissa(s, kKpS);
}
int ComputeOption_SFTKIS(CMC_Setup* s) {
    return EncodeShift(s, kKiS);
}
int ComputeOption_KIS(CMC_Setup* s) {
    return EncodeMantissa(s, kKiS);
}
int ComputeOption_SFTKPP(CMC_Setup* s) {
    return EncodeShift(s, kKpP);
}
int ComputeOption_KPP(CMC_Setup* s) {
    return EncodeMantissa(s, kKpP);
}
int ComputeOption_SFTKIP(CMC_Setup* s) {
    return EncodeShift(s, kKiP);
}
int ComputeOption_KIP(CMC_Setup* s) {
    return EncodeMantissa(s, kKiP);
}
int ComputeOption_SFTKDP(CMC_Setup* s) {
    return EncodeShift(s, kKdP);
}
int ComputeOption_KDP(CMC_Setup* s) {
    return EncodeMantissa(s, kKdP);
}
int ComputeOption_SFTSFFW(CMC_Setup* s) {
    return EncodeShift(s, kKffS);
}
int ComputeOption_KFFS(CMC_Setup* s) {
    return EncodeMantissa(s, kKffS);
}
int ComputeOption_SFTKPTHT(CMC_Setup* s) {
    return EncodeShift(s, kKpT);
}
int ComputeOption_KPTHT(CMC_Setup* s) {
    return EncodeMantissa(s, kKpT);
}
int ComputeOption_SFTKITHT(CMC_Setup* s) {
    return EncodeShift(s, kKiT);
}
int ComputeOption_KITHT(CMC_Setup* s) {
    return EncodeMantissa(s, kKiT);
}

int ReadBack_Kp_C_scl(CMC_Setup* s) {
    return Decode(s, kKpC);
}
int ReadBack_Ki_C_scl(CMC_Setup* s) {
    return Decode(s, kKiC);
}
int ReadBack_Kp_S_scl(CMC_Setup* s) {
    return Decode(s, kKpS);
}
int ReadBack_Ki_S_scl(CMC_Setup* s) {
    return Decode(s, kKiS);
}
int ReadBack_Kp_P_scl(CMC_Setup* s) {
    return Decode(s, kKpP);
}
int ReadBack_Ki_P_scl(CMC_Setup* s) {
    return Decode(s, kKiP);
}
int ReadBack_Kd_P_scl(CMC_Setup* s) {
    return Decode(s, kKdP);
}
int ReadBack_KFFS_scl(CMC_Setup* s) {
    return Decode(s, kKffS);
}
int ReadBack_Kp_T_scl(CMC_Setup* s) {
    return Decode(s, kKpT);
}
int ReadBack_Ki_T_scl(CMC_Setup* s) {
    return Decode(s, kKiT);
}

int ComputeOption_SFTAFFW(CMC_Setup* s) {
    if (!HasAll(s, kAccelerationFeedForwardNames)) return 0;
    SetBase(s, kKffA.shift, std::min(GetAccelerationFeedForwardShift(s), kAccelerationShiftSplit));
    return 1;
}

int ComputeOption_SFTKFF(CMC_Setup* s) {
    if (!HasAll(s, kAccelerationFeedForwardNames)) return 0;
    const double n = GetAccelerationFeedForwardShift(s);
    SetBase(s, kKffA.high_shift, n > kAccelerationShiftSplit ? n - kAccelerationShiftSplit : 0.0);
    return 1;
}

int ComputeOption_KFFA(CMC_Setup* s) {
    if (!HasAll(s, kAccelerationFeedForwardNames)) return 0;
    const double n = GetAccelerationFeedForwardShift(s);
    SetBase(s, kKffA.mantissa, Base(s, kKffA.gain) * kFixedOne / std::pow(2.0, n));
    return 1;
}

int ReadBack_KFFA_scl(CMC_Setup* s) {
    if (!HasAll(s, kAccelerationFeedForwardNames)) return 0;
    const double shift = Base(s, kKffA.high_shift) + Base(s, kKffA.shift);
    return SetRangedValue(s, kKffA.gain, 0.0, 4194304.0,
                          DecodeGain(Base(s, kKffA.mantissa), shift));
}

// --- Current loop ------------------------------------------------------------------------

int ComputeOption_SATPWM(CMC_Setup* s) {
    if (!HasAll(s, {"SATPWM", "CurrentMeasurementType", "PWM_freq"})) return 0;
    // 0.13107 PWM counts per hertz: the PWM saturation the current measurement needs.
    const bool measured = Int(s, "CurrentMeasurementType") != 0;
    SetBase(s, "SATPWM", measured ? Base(s, "PWM_freq") * 0.13107 : 0.0);
    return 1;
}

int ComputeOption_SATID(CMC_Setup* s) {
    if (!HasAll(s, {"SATID", "SATPWM"})) return 0;
    SetBase(s, "SATID", Base(s, "SATPWM"));
    return 1;
}

int ComputeOption_SATIQ(CMC_Setup* s) {
    if (!HasAll(s, {"SATIQ", "SATPWM"})) return 0;
    SetBase(s, "SATIQ", Base(s, "SATPWM"));
    return 1;
}

int ComputeOption_FILTERQ(CMC_Setup* s) {
    if (!HasAllOf(s, {{"FILTERQ", "isUseFilterOnCrtCtrlOutput", "FilterOnCurrentControllerOutput"},
                      kCurrentLoopPeriodNames}))
        return 0;
    if (Base(s, "isUseFilterOnCrtCtrlOutput") == 0.0) {
        SetBase(s, "FILTERQ", kFixedOne);
        return 1;
    }
    const double q = OutputFilterCoefficient(Base(s, "FilterOnCurrentControllerOutput"),
                                             GetCurrentLoopPeriod(s));
    if (std::isfinite(q)) SetBase(s, "FILTERQ", TruncToInt32(q));
    return 1;
}

int ReadBack_isUseFilterOnCrtCtrlOutput(CMC_Setup* s) {
    if (!HasAll(s, {"isUseFilterOnCrtCtrlOutput", "FILTERQ"})) return 0;
    return SetRangedValue(s, "isUseFilterOnCrtCtrlOutput", 0.0, 1.0,
                          Base(s, "FILTERQ") == kFixedOne ? 0.0 : 1.0);
}

int ReadBack_FilterOnCurrentControllerOutput(CMC_Setup* s) {
    if (!HasAllOf(s, {{"FilterOnCurrentControllerOutput", "FILTERQ"}, kCurrentLoopPeriodNames}))
        return 0;
    // The corner may reach the Nyquist frequency of the current loop, 1 / (2 T_C).
    const double nyquist_per_s = Base(s, "DSP_freq") * 0.25 / Base(s, "CLPER") / Base(s, "PWMPER");
    const double q = Base(s, "FILTERQ");
    double corner_per_s = kDefaultOutputFilter_per_s;
    if (q != kFixedOne) {
        const double period_s = GetCurrentLoopPeriod(s);
        corner_per_s = InverseOfTruncatedRegister(
            -std::log(1.0 - q / kFixedOne) / period_s, q,
            [period_s](double f) { return OutputFilterCoefficient(f, period_s); });
    }
    return SetRangedValue(s, "FilterOnCurrentControllerOutput", 0.0, nyquist_per_s, corner_per_s);
}

int ComputeOption_FFL(CMC_Setup* s) {
    if (!HasAllOf(s,
                  {{"FFL", "isCompensateGravitationalLoads", "OffsetCurrent"}, kCurrentScaleNames}))
        return 0;
    const bool on = Int(s, "isCompensateGravitationalLoads") != 0;
    SetBase(s, "FFL", on ? Base(s, "OffsetCurrent") * GetCurrentScale(s) : 0.0);
    return 1;
}

int ReadBack_isCompensateGravitationalLoads(CMC_Setup* s) {
    if (!HasAll(s, {"isCompensateGravitationalLoads", "FFL"})) return 0;
    return SetRangedValue(s, "isCompensateGravitationalLoads", 0.0, 1.0,
                          Base(s, "FFL") == 0.0 ? 0.0 : 1.0);
}

int ReadBack_OffsetCurrent(CMC_Setup* s) {
    if (!HasAllOf(s, {{"OffsetCurrent", "FFL", "In"}, kCurrentScaleNames})) return 0;
    const double in = Base(s, "In");
    return SetRangedValue(s, "OffsetCurrent", -in, in, Base(s, "FFL") / GetCurrentScale(s));
}

int ComputeOption_KFFL(CMC_Setup* s) {
    if (!HasAll(s, {"KFFL"})) return 0;
    SetBase(s, "KFFL", kFixedOne);
    return 1;
}

// --- Speed and position loop saturations ----------------------------------------------------

int ComputeOption_IMAXS(CMC_Setup* s) {
    if (!HasAllOf(s, {{"IMAXS", "IlimPS", "IPSatS"}, kCurrentScaleNames})) return 0;
    return SetRangedValue(
        s, "IMAXS", 0.0, kFixedOne,
        kFixedOne - Base(s, "IlimPS") * (Base(s, "IPSatS") / 100.0) * GetCurrentScale(s));
}

int ComputeOption_SATS(CMC_Setup* s) {
    if (!HasAllOf(s, {{"SATS", "IlimPS"}, kCurrentScaleNames})) return 0;
    return SetRangedValue(s, "SATS", 0.0, kFixedOne,
                          kFixedOne - Base(s, "IlimPS") * GetCurrentScale(s));
}

int ReadBack_IPSatS(CMC_Setup* s) {
    if (!HasAll(s, {"IPSatS", "IMAXS", "SATS"})) return 0;
    return SetRangedValue(s, "IPSatS", 0.0, 100.0,
                          (kFixedOne - Base(s, "IMAXS")) * 100.0 / (kFixedOne - Base(s, "SATS")));
}

int ComputeOption_KDFP(CMC_Setup* s) {
    if (!HasAll(s, {"KDFP", "filter_D"})) return 0;
    SetBase(s, "KDFP", Base(s, "filter_D") * kFixedOne);
    return 1;
}

int ReadBack_filter_D(CMC_Setup* s) {
    if (!HasAll(s, {"filter_D", "KDFP"})) return 0;
    return SetRangedValue(s, "filter_D", 0.0, 1.0, Base(s, "KDFP") / kFixedOne);
}

int ComputeOption_IMAXP(CMC_Setup* s) {
    if (!HasAll(s, {"IMAXP", "PositionControlType", "ControlMode", "IPSatP"})) return 0;
    const bool speed_output = PositionLoopDrivesSpeedLoop(s);
    if (speed_output ? !HasAllOf(s, {{"Limit_Speed"}, kLoadSpeedScaleNames})
                     : !HasAllOf(s, {{"IlimPS"}, kCurrentScaleNames}))
        return 0;
    const double fraction = Base(s, "IPSatP") / 100.0;
    const double limit_counts =
        speed_output ? Base(s, "Limit_Speed") * fraction * std::abs(GetLoadSpeedScale(s))
                     : Base(s, "IlimPS") * fraction * std::abs(GetCurrentScale(s));
    return SetRangedValue(s, "IMAXP", 0.0, kFixedOne, kFixedOne - limit_counts);
}

int ComputeOption_SATP(CMC_Setup* s) {
    if (!HasAll(s, {"SATP", "PositionControlType", "ControlMode"})) return 0;
    const bool speed_output = PositionLoopDrivesSpeedLoop(s);
    if (speed_output ? !HasAllOf(s, {{"Limit_Speed"}, kLoadSpeedScaleNames})
                     : !HasAllOf(s, {{"IlimPS"}, kCurrentScaleNames}))
        return 0;
    const double limit_counts = speed_output
                                    ? Base(s, "Limit_Speed") * std::abs(GetLoadSpeedScale(s))
                                    : Base(s, "IlimPS") * GetCurrentScale(s);
    return SetRangedValue(s, "SATP", 0.0, kFixedOne, kFixedOne - limit_counts);
}

int ReadBack_IPSatP(CMC_Setup* s) {
    if (!HasAll(s, {"IPSatP", "IMAXP", "SATP"})) return 0;
    return SetRangedValue(s, "IPSatP", 0.0, 100.0,
                          (kFixedOne - Base(s, "IMAXP")) * 100.0 / (kFixedOne - Base(s, "SATP")));
}

int ReadBack_Limit_Speed(CMC_Setup* s) {
    if (!HasAll(s, {"Limit_Speed", "SATP", "PositionControlType", "ControlMode"})) return 0;
    if (!PositionLoopDrivesSpeedLoop(s)) return 1;
    if (!HasAll(s, kLoadSpeedScaleNames)) return 0;
    SetBase(s, "Limit_Speed", (kFixedOne - Base(s, "SATP")) / std::abs(GetLoadSpeedScale(s)));
    return 1;
}

// --- Limits and test values -------------------------------------------------------------

int ReadBack_IlimPS(CMC_Setup* s) {
    if (!HasAllOf(s, {{"IlimPS", "ACR", "SATS", "SATP", "ImaxM"}, kCurrentScaleNames})) return 0;
    const double peak_A = std::min(Base(s, "ImaxM"), Base(s, "ImaxPS"));
    return SetRangedValue(s, "IlimPS", 0.001, peak_A, CurrentLimitFromSaturation(s));
}

int ReadBack_TestLimitCurrent(CMC_Setup* s) {
    if (!HasAllOf(s, {{"TestLimitCurrent", "ACR", "SATS", "SATP", "ImaxM"}, kCurrentScaleNames}))
        return 0;
    const double peak_A = std::min(Base(s, "ImaxPS"), Base(s, "ImaxM"));
    return SetRangedValue(s, "TestLimitCurrent", 0.0, peak_A, CurrentLimitFromSaturation(s));
}

int ReadBack_TestCurrent(CMC_Setup* s) {
    if (!HasAll(s, {"TestCurrent", "In", "InPS"})) return 0;
    const double rated_A = std::min(Base(s, "In"), Base(s, "InPS"));
    return SetRangedValue(s, "TestCurrent", 0.001, 1.8 * rated_A, rated_A);
}

int ReadBack_TestMaxSpeed(CMC_Setup* s) {
    if (!HasAll(s, {"TestMaxSpeed", "Limit_Speed", "Vdc", "K"})) return 0;
    // A third of the no-load speed the supply voltage allows.
    return SetRangedValue(s, "TestMaxSpeed", 0.0, Base(s, "Limit_Speed"),
                          Base(s, "Vdc") / Base(s, "K") / 3.0);
}

int ReadBack_Jload_over_J(CMC_Setup* s) {
    if (!HasAll(s, {"Jload_over_J", "Jt", "Jm"})) return 0;
    return SetRangedValue(s, "Jload_over_J", 0.0, 100.0, Base(s, "Jt") / Base(s, "Jm") - 1.0);
}

}  // namespace orvex
