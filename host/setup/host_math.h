#pragma once
// Small numeric helpers the host library offers its modules.

#include <cmath>
#include <cstdint>

namespace axis {

/// Rounds to `decimals` decimals, halves away from zero (2.5 -> 3, -2.5 -> -3).
inline double RoundDecimalValue(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

/// Rounds to the nearest integer, halves away from zero, as a 32-bit integer
/// (saturated at the 32-bit range; NaN gives 0).
inline int32_t TG_FRound(double value) {
    if (std::isnan(value)) return 0;
    const double r = std::round(value);
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

/// a modulo m in 0 ... m-1 for m > 0, whatever the sign of a (0 for m <= 0).
inline int64_t PositiveModulo(int64_t a, int64_t m) {
    if (m <= 0) return 0;
    const int64_t r = a % m;
    return r < 0 ? r + m : r;
}

}  // namespace axis

using axis::PositiveModulo;
using axis::RoundDecimalValue;
using axis::TG_FRound;
