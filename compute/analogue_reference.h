#pragma once
// The analogue reference input: the user describes the reference by its physical
// values at the two ends of the input span ("POS_min"/"POS_max" in the load position
// unit, "SPD_min"/"SPD_max" in the load speed unit, "CRT_min"/"CRT_max" in A, by
// "ControlMode" 0, 1, 2), a dead band around a point of the input and an input
// filter; the drive gets an offset ("AD5OFF"), a gain with a shift
// ("CADIN"/"SFTADIN"), two dead-band levels in ADC counts and a filter coefficient.
// Also the two limits of the external reference generator ("CSPD", "CACC").
//
// Conventions as in config_registers.h: each conversion looks up every name first
// and returns 0 (writing nothing) when one is absent. ADCmax is
// Compute_ADCMaxValue; k_P, k_S, k_A, k_I and T_S are the scale functions.

#include "host/setup/setup.h"

namespace orvex {

/// True when the drive has an analogue reference input: a drive variable "CADIN"
/// and a parameter "CADIN" (probed silently).
bool HasAnalogueReference(const CMC_Setup* setup);

/// x = span x 0.5 x 65536 / ADCmax x s: the reference gain in drive units per half
/// ADC span. span is the end-value difference of the control mode's pair in internal
/// units (0 for a mode outside 0 to 2); s = +1 when k_P > 0, else -1.
double GetAnalogueReferenceScale(const CMC_Setup* setup);

/// The gain x as the drive holds it: mantissa x 2^shift. The shift is 0 while
/// |x| <= 32767, else ceil(log2(|x| / 32767)), so the mantissa keeps its sign and
/// never exceeds the 15 bits of the register.
struct AnalogueGain {
    double mantissa;
    double shift;
};
AnalogueGain SplitAnalogueGain(double x);

/// "CADIN" (internal unit) = the mantissa of GetAnalogueReferenceScale.
int ComputeOption_CADIN(CMC_Setup* setup);
/// "SFTADIN" (internal unit) = the shift of GetAnalogueReferenceScale.
int ComputeOption_SFTADIN(CMC_Setup* setup);
/// "AD5OFF" = the reference at the bottom of the span (POS_min, SPD_min or CRT_min by
/// ControlMode) in internal units. Fails without writing for another ControlMode.
int ComputeOption_AD5OFF(CMC_Setup* setup);
/// "FILTER1" = 32767 (no filtering) when "UseFilter" is 0, else the first-order
/// filter coefficient (1 - e^(-filter x Ts_S)) x 32767, unrounded.
int ComputeOption_FILTER1(CMC_Setup* setup);
/// "LEVEL_AD5" = the dead-band point [V] in ADC counts: ADCmax x (point + 10) /
/// range for a +-10 V input (AnalogueInputsRange 20), else ADCmax x point / range.
int ComputeOption_LEVEL_AD5(CMC_Setup* setup);
/// "E_LEVEL_AD5" = DeadBand_Range [V] x ADCmax / AnalogueInputsRange, in ADC counts.
int ComputeOption_E_LEVEL_AD5(CMC_Setup* setup);
/// "CSPD" = ErefMaxSpeed x abs(k_S): speed limit of the reference generator.
int ComputeOption_CSPD(CMC_Setup* setup);
/// "CACC" = ErefMaxAcceleration x abs(k_A): acceleration limit of the generator.
int ComputeOption_CACC(CMC_Setup* setup);

/// "DeadBand_Point" [V] = AnalogueInputsRange x LEVEL_AD5 / ADCmax (minus 10 for a
/// +-10 V input), after the range of the input (-10..10, 0..5 or 0..3.3 V).
int ReadBack_DeadBand_Point(CMC_Setup* setup);
/// "DeadBand_Range" [V] = AnalogueInputsRange x E_LEVEL_AD5 / ADCmax, after the range
/// 0 to the whole point range (setting "NewDeadBand" 1) or to the distance from the
/// point to the nearer end of its range.
int ReadBack_DeadBand_Range(CMC_Setup* setup);
/// "UseFilter" (range 0 to 1) = 0 when FILTER1 is 32767, else 1.
int ReadBack_UseFilter(CMC_Setup* setup);
/// "filter" [1/s] (range 0 to 0.5 / T_S) = -ln(1 - FILTER1 / 32767) / T_S; 50 when
/// FILTER1 is 32767 (filter off).
int ReadBack_filter(CMC_Setup* setup);
/// "POS_min" = AD5OFF (internal units), after the range -32767 / abs(k_P) to the
/// value "POS_max" gets from the options (at most 32767 / abs(k_P)).
int ReadBack_POS_min(CMC_Setup* setup);
/// "POS_max" = AD5OFF + ADCmax x CADIN x 2 x s x 2^(SFTADIN - 16) (internal units),
/// after the range "POS_min" to 32767 / abs(k_P).
int ReadBack_POS_max(CMC_Setup* setup);
/// "CRT_min" = AD5OFF (internal units); no range.
int ReadBack_CRT_min(CMC_Setup* setup);
/// "CRT_max" as "POS_max", after the range "CRT_min" to min(32767 / k_I, ImaxPS, ImaxM).
int ReadBack_CRT_max(CMC_Setup* setup);
/// "SPD_min" = AD5OFF (internal units), after the range max(-Limit_Speed,
/// -32767 / abs(k_S)) to the value "SPD_max" gets from the options (at most
/// min(32767 / abs(k_S), Limit_Speed)).
int ReadBack_SPD_min(CMC_Setup* setup);
/// "SPD_max" as "POS_max", after the range "SPD_min" to min(32767 / abs(k_S),
/// Limit_Speed).
int ReadBack_SPD_max(CMC_Setup* setup);
/// "ErefMaxSpeed" (range 0 to 32767 / abs(k_S)) = CSPD / abs(k_S).
int ReadBack_ErefMaxSpeed(CMC_Setup* setup);
/// "ErefMaxAcceleration" (range 0 to 32767 / abs(k_A)) = CACC / abs(k_A).
int ReadBack_ErefMaxAcceleration(CMC_Setup* setup);

/// The dependent ranges of the analogue reference, without writing any value: when
/// the drive has an analogue reference input, the ranges of "DeadBand_Point",
/// "DeadBand_Range", "POS_max", "POS_min", "SPD_max", "SPD_min", "CRT_max" and
/// "CRT_min" (minimum max(-min(ImaxPS, ImaxM), -32767 / k_I), maximum "CRT_max"), in
/// this order, each against the present values. (The maximum of "filter" comes first
/// and is the caller's.) Limits are set with the direct setters, minimum first. An
/// entry acts only when the setup has its parameter. 0 when the drive has no analogue
/// reference input.
int UpdateAnalogueReferenceRanges(CMC_Setup* setup);

}  // namespace orvex
