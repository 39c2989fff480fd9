#include "compute/option_codec.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

namespace orvex {

int SetParameterRange(CMC_Parameter* p, double min, double max) {
    if (min > max) return 0;
    if (p->GetMinInBaseUnit() > p->GetMaxInBaseUnit()) p->SetMaxInBaseUnit(p->GetMinInBaseUnit());
    if (min > p->GetMaxInBaseUnit()) {
        p->SetMaxInBaseUnit(max);
        p->SetMinInBaseUnit(min);
    } else {
        p->SetMinInBaseUnit(min);
        p->SetMaxInBaseUnit(max);
    }
    return 1;
}

double EncodeGainShift(double gain) {
    if (gain <= 1.0) return 0.0;
    return std::ceil(std::log(gain) / std::log(2.0));
}

double EncodeGainMantissa(double gain) {
    if (gain <= 1.0) return gain * kFixedOne;
    return gain * kFixedOne / std::pow(2.0, EncodeGainShift(gain));
}

double DecodeGain(double mantissa, double shift) {
    return mantissa * std::pow(2.0, shift) / kFixedOne;
}

int TruncToInt32(double value) {
    if (std::isnan(value)) return 0;
    const double t = std::trunc(value);
    if (t >= 2147483647.0) return INT32_MAX;
    if (t <= -2147483648.0) return INT32_MIN;
    return static_cast<int>(t);
}

int Reg16(double value) {
    return TruncToInt32(value) & 0xFFFF;
}

bool HasAll(const CMC_Setup* setup, std::initializer_list<const char*> names) {
    bool all = true;
    for (const char* n : names) all = (setup->FindParameter(n) != nullptr) && all;
    return all;
}

bool Probe(const CMC_Setup* setup, std::initializer_list<const char*> names) {
    axis::ScopedSilentLookup silent;
    for (const char* n : names)
        if (!setup->FindParameter(n)) return false;
    return true;
}

int EncodeGainOptions(CMC_Setup* setup, const char* gain, const char* mantissa, const char* shift) {
    if (!HasAll(setup, {gain, mantissa, shift})) return 0;
    const double k = setup->GetParameterValueInBaseUnit(gain);
    setup->SetParameterValueInBaseUnit(shift, EncodeGainShift(k));
    setup->SetParameterValueInBaseUnit(mantissa, EncodeGainMantissa(k));
    return 1;
}

int DecodeGainOptions(CMC_Setup* setup, const char* gain, const char* mantissa, const char* shift) {
    if (!HasAll(setup, {gain, mantissa, shift})) return 0;
    CMC_Parameter* k = setup->FindParameter(gain);
    SetParameterRange(k, 0.0, 16384.0);
    k->SetValueInBaseUnit(DecodeGain(setup->GetParameterValueInBaseUnit(mantissa),
                                     setup->GetParameterValueInBaseUnit(shift)));
    return 1;
}

bool HasAllOf(const CMC_Setup* setup,
              std::initializer_list<std::initializer_list<const char*>> groups) {
    bool all = true;
    for (const auto& g : groups) all = HasAll(setup, g) && all;
    return all;
}

double InverseOfTruncatedRegister(double inverse, double reg,
                                  const std::function<double(double)>& forward) {
    if (!std::isfinite(inverse) || !std::isfinite(reg)) return inverse;
    const double target = std::trunc(reg);
    auto truncated = [&](double x) {
        const double f = forward(x);
        return std::isfinite(f) ? std::trunc(f) : std::nan("");
    };
    if (!(truncated(inverse) < target)) return inverse;
    // Doubling from one ulp finds a raise at most twice the smallest one, far inside the
    // one-count window of the register.
    double step = std::max(std::abs(inverse) * DBL_EPSILON, DBL_MIN);
    for (int i = 0; i < 200; ++i, step *= 2.0) {
        const double raised = inverse + step;
        const double t = truncated(raised);
        if (t == target) return raised;
        if (!(t < target)) break;
    }
    return inverse;
}

}  // namespace orvex
