#include "compute/biquad.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "compute/option_codec.h"

namespace orvex {
namespace {

// Full scale of a coefficient word: the drive's signed 32-bit coefficients stand for
// c / SF, with 2^31 as 1.
constexpr double kWordOne = 2147483648.0;
constexpr double kWordMin = -2147483648.0;
constexpr double kWordMax = 2147483647.0;

std::string Name(const char* format, int number) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, number);
    return buf;
}

CMC_Parameter* Find(const CMC_Setup* setup, const std::string& name) {
    return setup->FindParameter(name);
}

CMC_Parameter* FindSilently(const CMC_Setup* setup, const std::string& name) {
    axis::ScopedSilentLookup silent;
    return setup->FindParameter(name);
}

constexpr const char* kSlotOptions[] = {"BQ%dB0", "BQ%dB1", "BQ%dB2", "BQ%dA1", "BQ%dA2", "BQ%dSF"};
constexpr const char* kCountOptions[] = {"SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI"};

// Writes a slot's six options, skipping those the drive's setup lacks.
void WriteSlot(CMC_Setup* setup, int slot, const BiquadCoefficients& c, double sf) {
    const double values[] = {c.b0, c.b1, c.b2, c.a1, c.a2, sf};
    for (int k = 0; k < 6; ++k)
        if (CMC_Parameter* p = FindSilently(setup, Name(kSlotOptions[k], slot)))
            p->SetValueInBaseUnit(values[k]);
}

double LargestMagnitude(const BiquadCoefficients& c) {
    return std::max(
        {std::abs(c.b0), std::abs(c.b1), std::abs(c.b2), std::abs(c.a1), std::abs(c.a2)});
}

bool IsFinite(const BiquadCoefficients& c) {
    return std::isfinite(c.b0) && std::isfinite(c.b1) && std::isfinite(c.b2) &&
           std::isfinite(c.a1) && std::isfinite(c.a2);
}

double ScaleToWord(double c, double sf) {
    return std::floor(c / sf * kWordOne + 0.5);
}

bool FitsWord(double scaled) {
    return scaled >= kWordMin && scaled <= kWordMax;
}

// Types designed with gain 1 at zero frequency: their quantised form is trimmed back
// to exactly 1 there, so that a filter never leaves a static error in its loop. The
// high pass and band pass block zero frequency and are left as designed.
bool HasUnitGainAtZeroFrequency(int type) {
    return type != CBiquadDesigner::kHighPass && type != CBiquadDesigner::kBandPass;
}

// Moves b0 so that b0 + b1 + b2 = 2^31 / SF + a1 + a2, the zero-frequency gain of the
// whole-number filter being exactly 1.
void TrimZeroFrequencyGain(BiquadCoefficients& c, double sf) {
    const double one = kWordOne / sf;
    if (c.b0 + c.b1 + c.b2 - c.a1 - c.a2 == one) return;
    const double b0 = std::floor(one - c.b1 - c.b2 + c.a1 + c.a2 + 0.5);
    // Rounding of the other four coefficients moves b0 by a few counts at most; a b0
    // already at full scale stays in its word.
    c.b0 = std::clamp(b0, kWordMin, kWordMax);
}

}  // namespace

CBiquadDesigner::CBiquadDesigner()
    : names_{"Low Pass 1st order", "Low Pass 2nd order", "Notch",
             "High Pass",          "Band Pass",          "Peak",
             "Low Shelf",          "High Shelf",         "Lead-lag 1st order",
             "Lead-lag 2nd order"},
      offered_{true, true, true, true, true, false, false, false, true, true} {}

std::string CBiquadDesigner::GetTypeName(int type) const {
    return type >= 0 && type < kTypeCount ? names_[type] : "";
}

bool CBiquadDesigner::IsOffered(int type) const {
    return type >= 0 && type < kTypeCount && offered_[type];
}

void CBiquadDesigner::GetOfferedTypes(std::vector<std::string>& names,
                                      std::vector<int>& types) const {
    names.clear();
    types.clear();
    for (int t = 0; t < kTypeCount; ++t) {
        if (!offered_[t]) continue;
        names.emplace_back(names_[t]);
        types.push_back(t);
    }
}

void CBiquadDesigner::DesignFilter(int type, double f1n, double second) {
    if (type < 0 || type >= kTypeCount) return;
    // Prewarping: the analogue prototype's corner s = j maps onto F1 exactly.
    const double K = std::tan(std::numbers::pi * f1n);
    const double K2 = K * K;
    BiquadCoefficients c;
    switch (type) {
        case kLowPass1:
            c.b0 = c.b1 = K / (K + 1.0);
            c.a1 = (K - 1.0) / (K + 1.0);
            break;
        case kLowPass2:
        case kNotch:
        case kHighPass:
        case kBandPass:
        case kPeak: {
            const double Q = second;
            const double n = 1.0 / (1.0 + K / Q + K2);
            c.a1 = 2.0 * (K2 - 1.0) * n;
            c.a2 = (1.0 - K / Q + K2) * n;
            if (type == kLowPass2) {
                c.b0 = K2 * n;
                c.b1 = 2.0 * c.b0;
                c.b2 = c.b0;
            } else if (type == kNotch) {
                c.b0 = (1.0 + K2) * n;
                c.b1 = 2.0 * (K2 - 1.0) * n;
                c.b2 = c.b0;
            } else if (type == kHighPass) {
                c.b0 = n;
                c.b1 = -2.0 * n;
                c.b2 = n;
            } else if (type == kBandPass) {
                c.b0 = K / Q * n;
                c.b1 = 0.0;
                c.b2 = -c.b0;
            } else {
                // The peak is designed at 0 dB: numerator equals denominator.
                c.b0 = 1.0;
                c.b1 = c.a1;
                c.b2 = c.a2;
            }
            break;
        }
        case kLowShelf:
        case kHighShelf: {
            // Designed at 0 dB, so the shelves pass the signal unchanged.
            const double n = 1.0 / (1.0 + std::sqrt(2.0) * K + K2);
            c.a1 = 2.0 * (K2 - 1.0) * n;
            c.a2 = (1.0 - std::sqrt(2.0) * K + K2) * n;
            c.b0 = 1.0;
            c.b1 = c.a1;
            c.b2 = c.a2;
            break;
        }
        case kLeadLag1:
        case kLeadLag2: {
            // (1 + s / w1) / (1 + s / w2), each corner prewarped at its own frequency;
            // r = Kz / K keeps the gain at zero frequency at 1.
            const double Kz = std::tan(std::numbers::pi * second);
            const double r = Kz / K;
            const double zero0 = (K + 1.0) * r / (Kz + 1.0);
            const double zero1 = (K - 1.0) * r / (Kz + 1.0);
            const double pole1 = (Kz - 1.0) / (Kz + 1.0);
            if (type == kLeadLag1) {
                c.b0 = zero0;
                c.b1 = zero1;
                c.a1 = pole1;
            } else {
                // The first-order section applied twice.
                c.b0 = zero0 * zero0;
                c.b1 = 2.0 * r * r * (K2 - 1.0) / ((Kz + 1.0) * (Kz + 1.0));
                c.b2 = zero1 * zero1;
                c.a1 = 2.0 * pole1;
                c.a2 = pole1 * pole1;
            }
            break;
        }
    }
    c_ = c;
}

void CBiquadDesigner::Quantize() {
    // SF = 2^e with e the smallest exponent for which the largest magnitude m stays
    // below SF: m < 1 gives SF = 1; m in [2^(k-1), 2^k) gives 2^k, so an exact power
    // of two (1 included) takes the next exponent and its word stays below 2^31.
    if (!IsFinite(c_)) {
        // Nothing the drive could run: an empty slot.
        c_ = BiquadCoefficients{};
        sf_ = 0.0;
        return;
    }
    const double m = LargestMagnitude(c_);
    int e = 0;
    if (m >= 1.0) std::frexp(m, &e);
    // A magnitude within half a count of SF would still round up to 2^31.
    auto fits = [&](double sf) {
        return FitsWord(ScaleToWord(c_.b0, sf)) && FitsWord(ScaleToWord(c_.b1, sf)) &&
               FitsWord(ScaleToWord(c_.b2, sf)) && FitsWord(ScaleToWord(c_.a1, sf)) &&
               FitsWord(ScaleToWord(c_.a2, sf));
    };
    while (!fits(std::ldexp(1.0, e))) ++e;
    sf_ = std::ldexp(1.0, e);
    c_.b0 = ScaleToWord(c_.b0, sf_);
    c_.b1 = ScaleToWord(c_.b1, sf_);
    c_.b2 = ScaleToWord(c_.b2, sf_);
    c_.a1 = ScaleToWord(c_.a1, sf_);
    c_.a2 = ScaleToWord(c_.a2, sf_);
}

int CBiquadDesigner::DesignQuantized(const CMC_Setup* setup, int filter) {
    if (filter < 1 || filter > kFilterCount) return 0;
    const std::string type_name = Name("BQFilterType%d", filter);
    const std::string q_name = Name("BQFilterQ%d", filter);
    const std::string f1_name = Name("BQFilterF1%d", filter);
    const std::string f2_name = Name("BQFilterF2%d", filter);
    if (!HasAll(setup, {"Ts_S", type_name.c_str(), q_name.c_str(), f1_name.c_str()})) return 0;
    const double Ts = setup->GetParameterValueInBaseUnit("Ts_S");
    const int type = TruncToInt32(setup->GetParameterValueInBaseUnit(type_name));
    const double Q = setup->GetParameterValueInBaseUnit(q_name);
    const double f1 = setup->GetParameterValueInBaseUnit(f1_name);
    const bool lead_lag = type == kLeadLag1 || type == kLeadLag2;
    if (lead_lag && !Find(setup, f2_name)) return 0;
    const double second = lead_lag ? setup->GetParameterValueInBaseUnit(f2_name) * Ts : Q;

    if (type < 0 || type >= kTypeCount) {
        c_ = BiquadCoefficients{};
        sf_ = 0.0;
        return 1;
    }
    DesignFilter(type, f1 * Ts, second);
    Quantize();
    if (sf_ != 0.0 && HasUnitGainAtZeroFrequency(type)) TrimZeroFrequencyGain(c_, sf_);
    return 1;
}

int CBiquadDesigner::ComputeFilter(CMC_Setup* setup, int filter, int slot) {
    if (slot < 1 || slot > kSlotCount) return 0;
    if (!DesignQuantized(setup, filter)) return 0;
    WriteSlot(setup, slot, c_, sf_);
    return 1;
}

int CBiquadDesigner::ComputeAllFilters(CMC_Setup* setup) {
    int slot = 1;
    int counts[3] = {0, 0, 0};
    for (int location = 0; location < 3; ++location) {
        for (int i = 1; i <= kFilterCount && slot <= kSlotCount; ++i) {
            const CMC_Parameter* on = Find(setup, Name("BQFilter%d", i));
            const CMC_Parameter* where = Find(setup, Name("BQFilterLocation%d", i));
            if (!on || !where) continue;
            if (TruncToInt32(on->GetValueInBaseUnit()) == 0) continue;
            if (TruncToInt32(where->GetValueInBaseUnit()) != location) continue;
            if (!ComputeFilter(setup, i, slot)) continue;
            ++counts[location];
            ++slot;
        }
    }
    for (; slot <= kSlotCount; ++slot) WriteSlot(setup, slot, BiquadCoefficients{}, 0.0);
    for (int location = 0; location < 3; ++location)
        if (CMC_Parameter* p = FindSilently(setup, kCountOptions[location]))
            p->SetValueInBaseUnit(counts[location]);
    return 1;
}

int CBiquadDesigner::WriteFiltersToDrive(CMC_Setup* setup) {
    bool all = true;
    auto write = [&](const std::string& name) {
        if (CMC_Parameter* p = FindSilently(setup, name)) all = p->WriteToChip() != 0 && all;
    };
    for (const char* count : kCountOptions) write(count);
    for (int slot = 1; slot <= kSlotCount; ++slot)
        for (const char* option : kSlotOptions) write(Name(option, slot));
    return all ? 1 : 0;
}

int ComputeOption_BiquadFilters(CMC_Setup* setup) {
    if (!Probe(setup, {"IQREF_BQ_INI"})) return 0;
    CBiquadDesigner designer;
    return designer.ComputeAllFilters(setup);
}

}  // namespace orvex
