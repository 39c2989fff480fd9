#include "tuning/tuning_rules.h"

#include <algorithm>

#include "host/setup/host_math.h"

namespace orvex::tuning {

std::optional<double> QuantisedFinalValue(double value, double counts_per_unit) {
    if (counts_per_unit == 0.0) return std::nullopt;
    const double counts = value * counts_per_unit;
    std::int32_t n = TG_FRound(counts);
    if (n == 0) n = counts >= 0.0 ? 1 : -1;
    return static_cast<double>(n) / counts_per_unit;
}

SliderSpan GainSliderSpan(double value, double minimum, double maximum) {
    // A negative value would turn the half and the one and a half around.
    const double a = 0.5 * value, b = 1.5 * value;
    return {std::max(std::min(a, b), minimum), std::min(std::max(a, b), maximum)};
}

}  // namespace orvex::tuning
