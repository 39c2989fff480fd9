#include "compute/typed_values.h"

#include <cmath>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "compute/analogue_reference.h"
#include "compute/config_registers.h"
#include "compute/control_loop_options.h"
#include "compute/gain_table.h"
#include "compute/protection_options.h"
#include "compute/scales.h"

namespace orvex {

namespace {

// A row of the table below: the read-back, its parameter and its registers.
struct ValueEncoding {
    Conversion read_back;
    const char* parameter;
    std::span<const Encoding> encodings;
    operator EncodedParameter() const {
        return {read_back, parameter, {encodings.begin(), encodings.end()}};
    }
};

// clang-format off
#define E(option) Encoding{#option, ComputeOption_##option}
// One list per group of registers that a parameter feeds.
constexpr Encoding kPwm[] = {E(PWMPER)};
constexpr Encoding kUmax[] = {E(UMAXPROT)};
constexpr Encoding kUmin[] = {E(UMINPROT)};
constexpr Encoding kTemp2[] = {E(T2MAXPROT)};
// The I2t current and time feed the integral limit and the warning level; the time
// also the time scale.
constexpr Encoding kI2tCurrentD[] = {E(I2TINTLIM_D), E(II2TWARLIM_D)};
constexpr Encoding kI2tTimeD[] = {E(SFI2T_D), E(I2TINTLIM_D), E(II2TWARLIM_D)};
constexpr Encoding kI2tCurrentM[] = {E(I2TINTLIM_M), E(I2TWARLIM_M)};
constexpr Encoding kI2tTimeM[] = {E(SFI2T_M), E(I2TINTLIM_M), E(I2TWARLIM_M)};
constexpr Encoding kCurrentLimit[] = {E(SATS), E(SATP), E(IMAXS), E(IMAXP)};
constexpr Encoding kOutputFilter[] = {E(FILTERQ)};
constexpr Encoding kOffsetCurrent[] = {E(FFL)};
constexpr Encoding kSpeedLoopShare[] = {E(IMAXS)};
constexpr Encoding kPositionLoopShare[] = {E(IMAXP)};
constexpr Encoding kDerivativeFilter[] = {E(KDFP)};
constexpr Encoding kLimitSpeed[] = {E(SATP), E(IMAXP)};
constexpr Encoding kImaxProt[] = {E(IMAXPROT)};
constexpr Encoding kTimeImaxProt[] = {E(TIMAXPROT)};
constexpr Encoding kErrPosition[] = {E(ERRMAX)};
constexpr Encoding kTimeErrPosition[] = {E(TERRMAX)};
constexpr Encoding kErrSpeed[] = {E(SERRMAX)};
constexpr Encoding kTimeErrSpeed[] = {E(TSERRMAX)};
constexpr Encoding kInputsTime[] = {E(T1ONA), E(T1ONB)};
constexpr Encoding kNegativeLimit[] = {E(SWNEGLS), E(SWPOSLS)};
constexpr Encoding kPositiveLimit[] = {E(SWNEGLS), E(SWPOSLS)};
constexpr Encoding kDeadBandPoint[] = {E(LEVEL_AD5)};
constexpr Encoding kDeadBandRange[] = {E(E_LEVEL_AD5)};
constexpr Encoding kReferenceFilter[] = {E(FILTER1)};
// The bottom end value is the offset and, with the top end, the gain.
constexpr Encoding kBottomEnd[] = {E(AD5OFF), E(CADIN), E(SFTADIN)};
constexpr Encoding kTopEnd[] = {E(CADIN), E(SFTADIN)};
constexpr Encoding kErefSpeed[] = {E(CSPD)};
constexpr Encoding kErefAcceleration[] = {E(CACC)};
constexpr Encoding kPhaseAdvance[] = {E(THT_CORRECTION)};
constexpr Encoding kBrakeRelease[] = {E(BRAKERELEASEDELAY)};
constexpr Encoding kBrakeApply[] = {E(BRAKEAPPLYDELAY)};
constexpr Encoding kFreezeBand[] = {E(POSOKLIM_FC)};
constexpr Encoding kFreezeTime[] = {E(TONPOSOK_FC)};
#undef E

#define P(parameter, encodings) \
    ValueEncoding{ReadBack_##parameter, #parameter, encodings}
// Every value but the gains, which come from the gain table.
constexpr ValueEncoding kEncodedValues[] = {
    P(PWM_freq, kPwm),
    P(UMAX_PROT, kUmax), P(UMIN_PROT, kUmin), P(Temp_2, kTemp2),
    P(I_I2t_D, kI2tCurrentD), P(t_I2t_D, kI2tTimeD),
    P(IlimPS, kCurrentLimit),
    P(FilterOnCurrentControllerOutput, kOutputFilter), P(OffsetCurrent, kOffsetCurrent),
    P(IPSatS, kSpeedLoopShare),
    P(filter_D, kDerivativeFilter),
    P(IPSatP, kPositionLoopShare), P(Limit_Speed, kLimitSpeed),
    P(Imax_Prot, kImaxProt), P(time_Imax_Prot, kTimeImaxProt),
    P(ERR_position, kErrPosition), P(time_ERR_pos, kTimeErrPosition),
    P(ERR_speed, kErrSpeed), P(time_ERR_spd, kTimeErrSpeed),
    P(I_I2t_M, kI2tCurrentM), P(t_I2t_M, kI2tTimeM),
    P(time_AB, kInputsTime),
    P(Negative_SWLS, kNegativeLimit), P(Positive_SWLS, kPositiveLimit),
    P(DeadBand_Point, kDeadBandPoint), P(DeadBand_Range, kDeadBandRange),
    P(filter, kReferenceFilter),
    P(POS_min, kBottomEnd), P(POS_max, kTopEnd), P(CRT_min, kBottomEnd), P(CRT_max, kTopEnd),
    P(SPD_min, kBottomEnd), P(SPD_max, kTopEnd),
    P(ErefMaxSpeed, kErefSpeed), P(ErefMaxAcceleration, kErefAcceleration),
    P(PhaseAdvance_speed, kPhaseAdvance),
    P(MotorBrake_releasetime, kBrakeRelease), P(MotorBrake_applytime, kBrakeApply),
    P(FreezeControl_errband, kFreezeBand), P(FreezeControl_time, kFreezeTime),
};
#undef P
// clang-format on

const std::vector<EncodedParameter>& AllEncoded() {
    static const std::vector<EncodedParameter> all = [] {
        std::vector<EncodedParameter> list(std::begin(kEncodedValues), std::end(kEncodedValues));
        for (const GainOptions& g : kGainOptions) {
            std::vector<Encoding> encodings;
            if (g.high_shift) encodings.push_back({g.high_shift, g.encode_high_shift});
            encodings.push_back({g.shift, g.encode_shift});
            encodings.push_back({g.mantissa, g.encode_mantissa});
            list.push_back({g.read_back, g.gain, std::move(encodings)});
        }
        return list;
    }();
    return all;
}

const EncodedParameter* EntryFor(Conversion step) {
    static const std::unordered_map<Conversion, const EncodedParameter*> index = [] {
        std::unordered_map<Conversion, const EncodedParameter*> map;
        for (const EncodedParameter& e : AllEncoded()) map[e.read_back] = &e;
        return map;
    }();
    const auto it = index.find(step);
    return it == index.end() ? nullptr : it->second;
}

// Everything the file stores about a parameter, to put it back bit for bit.
struct Stored {
    CMC_Parameter* p;
    double value, min, max;
};

Stored Keep(CMC_Parameter* p) {
    return {p, p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()};
}

void Restore(const Stored& s) {
    s.p->RestoreStored(s.value, s.min, s.max);
}

// Whether the forward conversions, given `value` for the parameter, compute the registers
// the setup holds. Parameter and registers are restored exactly afterwards.
bool GivesStoredRegisters(CMC_Setup* s, CMC_Parameter* p, double value,
                          const std::vector<Encoding>& encodings) {
    const Stored parameter = Keep(p);
    std::vector<Stored> registers;
    p->RestoreStored(value, parameter.min, parameter.max);
    bool same = true;
    for (const Encoding& e : encodings) {
        CMC_Parameter* reg = s->FindParameter(e.option);
        if (!reg) continue;  // a register of a feature this drive lacks
        registers.push_back(Keep(reg));
        same = e.forward(s) == 1 && same;
    }
    same = same && !registers.empty();
    for (const Stored& r : registers) {
        same = same && SameRegister(*r.p, r.p->GetValueInBaseUnit(), r.value);
        Restore(r);
    }
    Restore(parameter);
    return same;
}

// The typed value is the user's when it gives the registers the setup holds, and it is
// what gives them: a parameter that does not feed these registers in the drive's present
// configuration (the current end values in position mode, say) would give them whatever
// it held, so a clearly different value must give other registers.
bool IsEncodedBy(CMC_Setup* s, CMC_Parameter* p, double typed,
                 const std::vector<Encoding>& encodings) {
    const double different = typed == 0.0 ? 1.0 : 2.0 * typed;
    return GivesStoredRegisters(s, p, typed, encodings) &&
           !GivesStoredRegisters(s, p, different, encodings);
}

// The field of `bits` bits of the truncated value, as the drive stores it.
int64_t Field(double v, int bits) {
    const double t = std::fmod(std::trunc(v), bits == 16 ? 65536.0 : 4294967296.0);
    const int64_t field = static_cast<int64_t>(t);
    return bits == 16 ? (field & 0xFFFF) : (field & 0xFFFFFFFF);
}

}  // namespace

const std::vector<EncodedParameter>& EncodedParameters() {
    return AllEncoded();
}

bool SameRegister(const CMC_Parameter& option, double a, double b) {
    if (a == b) return true;
    if (!std::isfinite(a) || !std::isfinite(b) || !option.IsOption()) return false;
    const int bits = option.GetType() == kTypeOption16 ? 16 : 32;
    return Field(a, bits) == Field(b, bits);
}

int ReadBackKeepingTypedValue(CMC_Setup* s, Conversion step) {
    const EncodedParameter* entry = EntryFor(step);
    CMC_Parameter* p = nullptr;
    if (entry) {
        axis::ScopedSilentLookup silent;
        p = s->FindParameter(entry->parameter);
    }
    if (!p) return step(s);
    const double typed = p->GetValueInBaseUnit();
    const int result = step(s);
    const double now = p->GetValueInBaseUnit();
    if (now == typed || !std::isfinite(typed)) return result;
    if (typed < p->GetMinInBaseUnit() || typed > p->GetMaxInBaseUnit()) return result;
    axis::ScopedSilentLookup silent;  // every name was looked up by the read-back already
    if (IsEncodedBy(s, p, typed, entry->encodings)) {
        const Stored read = Keep(p);
        p->RestoreStored(typed, read.min, read.max);
    }
    return result;
}

}  // namespace orvex
