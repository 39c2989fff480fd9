#include "tuning/tuning_rules.h"

#include <algorithm>

#include "host/setup/host_math.h"

namespace orvex::tuning {
namespace {

// A sampled controller acts about half a sample late, plus the hold: a crossover that
// turns 0.25 rad per sample keeps the PID that commands current within a few per cent
// of its continuous design's rise and overshoot, and at about half the phase it may
// lose before it rings (a whole sample's delay makes a damping 0.3 to 2 design unstable
// at 0.44 to 0.68 rad per sample).
constexpr double kCrossoverPerSample_rad = 0.25;
// An inner loop ten times faster than the crossover costs it about 6 degrees of phase.
constexpr double kInnerOverCrossover = 10.0;

}  // namespace

std::optional<double> QuantisedFinalValue(double value, double counts_per_unit) {
    if (counts_per_unit == 0.0) return std::nullopt;
    const double counts = value * counts_per_unit;
    std::int32_t n = TG_FRound(counts);
    if (n == 0) n = counts >= 0.0 ? 1 : -1;
    return static_cast<double>(n) / counts_per_unit;
}

double HighestFaithfulBandwidth(double crossover_per_bandwidth, double period_s,
                                double inner_bandwidth_rad_s) {
    double highest = INFINITY;
    if (crossover_per_bandwidth <= 0.0) return highest;
    if (period_s > 0.0) highest = kCrossoverPerSample_rad / (crossover_per_bandwidth * period_s);
    if (inner_bandwidth_rad_s > 0.0)
        highest = std::min(highest,
                           inner_bandwidth_rad_s / (kInnerOverCrossover * crossover_per_bandwidth));
    return highest;
}

}  // namespace orvex::tuning
