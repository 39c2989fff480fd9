#include "compute/analogue_reference.h"

#include <algorithm>
#include <cmath>

#include "compute/config_registers.h"
#include "compute/option_codec.h"
#include "compute/scales.h"
#include "compute/setup_access.h"

namespace orvex {

namespace {

// A +-10 V input is declared as a 20 V range; its ADC zero is at -10 V.
bool IsBipolarInput(double inputs_range_V) {
    return TruncToInt32(inputs_range_V) == 20;
}

struct Limits {
    double min, max;
};

// The reference quantity's pair of end values, by control mode.
struct EndPair {
    const char* bottom;
    const char* top;
};
constexpr EndPair kPositionEnds{"POS_min", "POS_max"};
constexpr EndPair kSpeedEnds{"SPD_min", "SPD_max"};
constexpr EndPair kCurrentEnds{"CRT_min", "CRT_max"};

const EndPair* EndsForMode(int mode) {
    switch (mode) {
        case 0:
            return &kPositionEnds;
        case 1:
            return &kSpeedEnds;
        case 2:
            return &kCurrentEnds;
        default:
            return nullptr;
    }
}
const EndPair* EndsForMode(const CMC_Setup* s) {
    return EndsForMode(TruncToInt32(Base(s, "ControlMode")));
}

// The drive applies the reference in the motor's direction; a reversing
// transmission inverts the gain.
double DirectionSign(const CMC_Setup* s) {
    return GetLoadPositionScale(s) > 0.0 ? 1.0 : -1.0;
}

// The names the gain and offset need: the control mode, its pair of end values and
// the inputs of k_P.
bool HasReferenceInputs(const CMC_Setup* s) {
    if (!HasAll(s, {"ControlMode"}) || !HasLoadPositionScale(s)) return false;
    const EndPair* ends = EndsForMode(s);
    return !ends || HasAll(s, {ends->bottom, ends->top});
}

// The options the end values are read back from.
bool HasOffsetAndGain(const CMC_Setup* s) {
    return HasAll(s, {"AD5OFF", "CADIN", "SFTADIN"}) & HasLoadPositionScale(s);
}

// The reference at the top of the input span, in internal units: the offset plus
// the gain over the full ADC span (x counts per half span, 65536 = full span).
double TopEndInternal(const CMC_Setup* s) {
    return Internal(s, "AD5OFF") + AdcMax(s) * Internal(s, "CADIN") * 2.0 * DirectionSign(s) *
                                       std::pow(2.0, Internal(s, "SFTADIN") - 16.0);
}

Limits DeadBandPointLimits(double inputs_range_V) {
    if (IsBipolarInput(inputs_range_V)) return {-10.0, 10.0};
    if (TruncToInt32(inputs_range_V) == 5) return {0.0, 5.0};
    return {0.0, 3.3};
}

// The dead band may cover the whole input (new firmware) or, as a half-width around
// the point, reach the nearer end of the input.
Limits DeadBandRangeLimits(const CMC_Setup* s) {
    const CMC_Parameter* point = s->FindParameter("DeadBand_Point");
    const double p = point->GetValueInBaseUnit();
    const double p_min = point->GetMinInBaseUnit();
    const double p_max = point->GetMaxInBaseUnit();
    if (IsSettingOn(s, "NewDeadBand")) return {0.0, p_max - p_min};
    return {0.0, std::min(p - p_min, p_max - p)};
}

// The drive's reference words are 16-bit: 32767 counts at most.
double PositionEndBound(const CMC_Setup* s) {
    return kFixedOne / std::fabs(GetLoadPositionScale(s));
}
Limits SpeedEndLimits(const CMC_Setup* s) {
    const double word = kFixedOne / std::fabs(GetLoadSpeedScale(s));
    const double limit = Base(s, "Limit_Speed");
    return {std::max(-limit, -word), std::min(word, limit)};
}
// Neither the drive's current word, nor the power stage, nor the motor's peak current.
Limits CurrentEndLimits(const CMC_Setup* s) {
    const double word = kFixedOne / GetCurrentScale(s);
    const double peak = std::min(Base(s, "ImaxPS"), Base(s, "ImaxM"));
    return {std::max(-peak, -word), std::min(word, peak)};
}

void SetLimits(CMC_Parameter* p, double min, double max) {
    p->SetMinInBaseUnit(min);
    p->SetMaxInBaseUnit(max);
}

// The bottom end value = AD5OFF. Its upper limit is the top end value the same
// options give (within the top end's own limit `top_upper`), not the old top end, so
// a span moved above the old top end is not cut at it.
int ReadBackBottomEnd(CMC_Setup* s, const EndPair& ends, double lower, double top_upper) {
    CMC_Parameter* bottom = s->FindParameter(ends.bottom);
    const CMC_Parameter* top = s->FindParameter(ends.top);
    SetLimits(bottom, lower, std::min(top->FromInternal(TopEndInternal(s)), top_upper));
    bottom->SetValueInInternalUnit(Internal(s, "AD5OFF"));
    return 1;
}

int ReadBackTopEnd(CMC_Setup* s, const EndPair& ends, double upper) {
    CMC_Parameter* top = s->FindParameter(ends.top);
    SetLimits(top, Base(s, ends.bottom), upper);
    top->SetValueInInternalUnit(TopEndInternal(s));
    return 1;
}

bool HasPositionEndInputs(const CMC_Setup* s) {
    return HasAll(s, {"POS_min", "POS_max"}) && HasLoadPositionScale(s) &&
           IsUsableScale(GetLoadPositionScale(s));
}
bool HasSpeedEndInputs(const CMC_Setup* s) {
    return HasAll(s, {"SPD_min", "SPD_max", "Limit_Speed"}) && HasLoadSpeedScale(s) &&
           IsUsableScale(GetLoadSpeedScale(s));
}
bool HasCurrentEndInputs(const CMC_Setup* s) {
    return HasAll(s, {"CRT_min", "CRT_max", "ImaxPS", "ImaxM"}) &&
           IsUsableScale(GetCurrentScale(s));
}

}  // namespace

bool HasAnalogueReference(const CMC_Setup* s) {
    axis::ScopedSilentLookup silent;
    return s->FindVariable("CADIN", 1) != nullptr && s->FindParameter("CADIN") != nullptr;
}

double GetAnalogueReferenceScale(const CMC_Setup* s) {
    const EndPair* ends = EndsForMode(s);
    const double span = ends ? Internal(s, ends->top) - Internal(s, ends->bottom) : 0.0;
    return span * 0.5 * 65536.0 / AdcMax(s) * DirectionSign(s);
}

AnalogueGain SplitAnalogueGain(double x) {
    const double magnitude = std::fabs(x);
    if (!(magnitude > kFixedOne)) return {x, 0.0};
    const double shift = std::ceil(std::log(magnitude / kFixedOne) / std::log(2.0));
    return {x / std::pow(2.0, shift), shift};
}

int ComputeOption_CADIN(CMC_Setup* s) {
    if (!HasAll(s, {"CADIN"}) || !HasReferenceInputs(s)) return 0;
    s->SetParameterValueInInternalUnit("CADIN",
                                       SplitAnalogueGain(GetAnalogueReferenceScale(s)).mantissa);
    return 1;
}

int ComputeOption_SFTADIN(CMC_Setup* s) {
    if (!HasAll(s, {"SFTADIN"}) || !HasReferenceInputs(s)) return 0;
    s->SetParameterValueInInternalUnit("SFTADIN",
                                       SplitAnalogueGain(GetAnalogueReferenceScale(s)).shift);
    return 1;
}

int ComputeOption_AD5OFF(CMC_Setup* s) {
    if (!HasAll(s, {"AD5OFF"}) || !HasReferenceInputs(s)) return 0;
    const EndPair* ends = EndsForMode(s);
    if (!ends) return 0;
    s->SetParameterValueInInternalUnit("AD5OFF", Internal(s, ends->bottom));
    return 1;
}

int ComputeOption_FILTER1(CMC_Setup* s) {
    if (!HasAll(s, {"FILTER1", "UseFilter", "filter", "Ts_S"})) return 0;
    double coefficient = kFixedOne;  // 1.0: the input passes unfiltered
    if (TruncToInt32(Base(s, "UseFilter")) != 0)
        coefficient = (1.0 - std::exp(-Base(s, "filter") * Base(s, "Ts_S"))) * kFixedOne;
    s->SetParameterValueInInternalUnit("FILTER1", coefficient);
    return 1;
}

int ComputeOption_LEVEL_AD5(CMC_Setup* s) {
    if (!HasAll(s, {"LEVEL_AD5", "DeadBand_Point", "AnalogueInputsRange"})) return 0;
    const double range = Base(s, "AnalogueInputsRange");
    double point = Base(s, "DeadBand_Point");
    if (IsBipolarInput(range)) point += 10.0;
    s->SetParameterValueInInternalUnit("LEVEL_AD5", AdcMax(s) * point / range);
    return 1;
}

int ComputeOption_E_LEVEL_AD5(CMC_Setup* s) {
    if (!HasAll(s, {"E_LEVEL_AD5", "DeadBand_Range", "AnalogueInputsRange"})) return 0;
    s->SetParameterValueInInternalUnit(
        "E_LEVEL_AD5", Base(s, "DeadBand_Range") * AdcMax(s) / Base(s, "AnalogueInputsRange"));
    return 1;
}

int ComputeOption_CSPD(CMC_Setup* s) {
    if (!HasAll(s, {"CSPD", "ErefMaxSpeed"}) || !HasLoadSpeedScale(s)) return 0;
    s->SetParameterValueInInternalUnit("CSPD",
                                       Base(s, "ErefMaxSpeed") * std::fabs(GetLoadSpeedScale(s)));
    return 1;
}

int ComputeOption_CACC(CMC_Setup* s) {
    if (!HasAll(s, {"CACC", "ErefMaxAcceleration"}) || !HasLoadAccelerationScale(s)) return 0;
    s->SetParameterValueInInternalUnit(
        "CACC", Base(s, "ErefMaxAcceleration") * std::fabs(GetLoadAccelerationScale(s)));
    return 1;
}

int ReadBack_DeadBand_Point(CMC_Setup* s) {
    if (!HasAll(s, {"DeadBand_Point", "LEVEL_AD5", "AnalogueInputsRange"})) return 0;
    const double range = Base(s, "AnalogueInputsRange");
    const Limits limits = DeadBandPointLimits(range);
    CMC_Parameter* p = s->FindParameter("DeadBand_Point");
    SetParameterRange(p, limits.min, limits.max);
    double point = range * Internal(s, "LEVEL_AD5") / AdcMax(s);
    if (IsBipolarInput(range)) point -= 10.0;
    p->SetValueInBaseUnit(point);
    return 1;
}

int ReadBack_DeadBand_Range(CMC_Setup* s) {
    if (!HasAll(s, {"DeadBand_Range", "DeadBand_Point", "E_LEVEL_AD5", "AnalogueInputsRange"}))
        return 0;
    const Limits limits = DeadBandRangeLimits(s);
    CMC_Parameter* p = s->FindParameter("DeadBand_Range");
    SetParameterRange(p, limits.min, limits.max);
    p->SetValueInBaseUnit(Base(s, "AnalogueInputsRange") * Internal(s, "E_LEVEL_AD5") / AdcMax(s));
    return 1;
}

int ReadBack_UseFilter(CMC_Setup* s) {
    if (!HasAll(s, {"UseFilter", "FILTER1"})) return 0;
    CMC_Parameter* p = s->FindParameter("UseFilter");
    SetParameterRange(p, 0.0, 1.0);
    p->SetValueInBaseUnit(Internal(s, "FILTER1") == kFixedOne ? 0.0 : 1.0);
    return 1;
}

int ReadBack_filter(CMC_Setup* s) {
    if (!HasAll(s, {"filter", "FILTER1"}) || !HasSpeedLoopPeriod(s)) return 0;
    const double ts = GetSpeedLoopPeriod(s);
    if (!IsUsableScale(ts)) return 0;
    const double coefficient = Internal(s, "FILTER1");
    CMC_Parameter* p = s->FindParameter("filter");
    SetParameterRange(p, 0.0, 0.5 / ts);
    // With the filter off the field shows a default corner of 50 1/s.
    p->SetValueInBaseUnit(coefficient == kFixedOne ? 50.0
                                                   : -std::log(1.0 - coefficient / kFixedOne) / ts);
    return 1;
}

int ReadBack_POS_min(CMC_Setup* s) {
    if (!HasPositionEndInputs(s) || !HasOffsetAndGain(s)) return 0;
    return ReadBackBottomEnd(s, kPositionEnds, -PositionEndBound(s), PositionEndBound(s));
}

int ReadBack_POS_max(CMC_Setup* s) {
    if (!HasPositionEndInputs(s) || !HasOffsetAndGain(s)) return 0;
    return ReadBackTopEnd(s, kPositionEnds, PositionEndBound(s));
}

int ReadBack_CRT_min(CMC_Setup* s) {
    if (!HasAll(s, {"CRT_min", "AD5OFF"})) return 0;
    s->SetParameterValueInInternalUnit("CRT_min", Internal(s, "AD5OFF"));
    return 1;
}

int ReadBack_CRT_max(CMC_Setup* s) {
    if (!HasCurrentEndInputs(s) || !HasOffsetAndGain(s)) return 0;
    return ReadBackTopEnd(s, kCurrentEnds, CurrentEndLimits(s).max);
}

int ReadBack_SPD_min(CMC_Setup* s) {
    if (!HasSpeedEndInputs(s) || !HasOffsetAndGain(s)) return 0;
    const Limits limits = SpeedEndLimits(s);
    return ReadBackBottomEnd(s, kSpeedEnds, limits.min, limits.max);
}

int ReadBack_SPD_max(CMC_Setup* s) {
    if (!HasSpeedEndInputs(s) || !HasOffsetAndGain(s)) return 0;
    return ReadBackTopEnd(s, kSpeedEnds, SpeedEndLimits(s).max);
}

int ReadBack_ErefMaxSpeed(CMC_Setup* s) {
    if (!HasAll(s, {"ErefMaxSpeed", "CSPD"}) || !HasLoadSpeedScale(s)) return 0;
    const double k = std::fabs(GetLoadSpeedScale(s));
    if (!IsUsableScale(k)) return 0;
    CMC_Parameter* p = s->FindParameter("ErefMaxSpeed");
    SetParameterRange(p, 0.0, kFixedOne / k);
    p->SetValueInBaseUnit(Internal(s, "CSPD") / k);
    return 1;
}

int ReadBack_ErefMaxAcceleration(CMC_Setup* s) {
    if (!HasAll(s, {"ErefMaxAcceleration", "CACC"}) || !HasLoadAccelerationScale(s)) return 0;
    const double k = std::fabs(GetLoadAccelerationScale(s));
    if (!IsUsableScale(k)) return 0;
    CMC_Parameter* p = s->FindParameter("ErefMaxAcceleration");
    SetParameterRange(p, 0.0, kFixedOne / k);
    p->SetValueInBaseUnit(Internal(s, "CACC") / k);
    return 1;
}

int UpdateAnalogueReferenceRanges(CMC_Setup* s) {
    if (!HasAnalogueReference(s)) return 0;
    // An entry acts only when the setup has its parameter; the names it reads are
    // then looked up (and reported) like any conversion's.
    const auto has = [s](const char* target) { return Probe(s, {target}); };

    if (has("DeadBand_Point") && HasAll(s, {"AnalogueInputsRange"})) {
        const Limits l = DeadBandPointLimits(Base(s, "AnalogueInputsRange"));
        SetLimits(s->FindParameter("DeadBand_Point"), l.min, l.max);
    }
    if (has("DeadBand_Range") && HasAll(s, {"DeadBand_Point"})) {
        const Limits l = DeadBandRangeLimits(s);
        SetLimits(s->FindParameter("DeadBand_Range"), l.min, l.max);
    }
    if (has("POS_max") && HasPositionEndInputs(s))
        SetLimits(s->FindParameter("POS_max"), Base(s, "POS_min"), PositionEndBound(s));
    if (has("POS_min") && HasPositionEndInputs(s))
        SetLimits(s->FindParameter("POS_min"), -PositionEndBound(s), Base(s, "POS_max"));
    if (has("SPD_max") && HasSpeedEndInputs(s))
        SetLimits(s->FindParameter("SPD_max"), Base(s, "SPD_min"), SpeedEndLimits(s).max);
    if (has("SPD_min") && HasSpeedEndInputs(s))
        SetLimits(s->FindParameter("SPD_min"), SpeedEndLimits(s).min, Base(s, "SPD_max"));
    if (has("CRT_max") && HasCurrentEndInputs(s))
        SetLimits(s->FindParameter("CRT_max"), Base(s, "CRT_min"), CurrentEndLimits(s).max);
    if (has("CRT_min") && HasCurrentEndInputs(s))
        SetLimits(s->FindParameter("CRT_min"), CurrentEndLimits(s).min, Base(s, "CRT_max"));
    return 1;
}

}  // namespace orvex
