#include "tuning/tuning_rules.h"

#include "host/setup/host_math.h"

namespace orvex::tuning {

std::optional<double> QuantisedFinalValue(double value, double counts_per_unit) {
    if (counts_per_unit == 0.0) return std::nullopt;
    const double counts = value * counts_per_unit;
    std::int32_t n = TG_FRound(counts);
    if (n == 0) n = counts >= 0.0 ? 1 : -1;
    return static_cast<double>(n) / counts_per_unit;
}

}  // namespace orvex::tuning
