#pragma once
// The few numbers the tuning dialogs derive from the setup before a run: the final
// value of the profile as the drive takes it. No Qt.

#include <cmath>
#include <optional>

namespace orvex::tuning {

/// The final value of the profile (speed or position, base unit) moved onto a whole,
/// nonzero number of drive counts: `counts_per_unit` counts (per speed-loop sample for a
/// speed) per base unit. A value that rounds to no count becomes one count in its own
/// direction, so the profile always moves. Empty when the scale is 0 (nothing to
/// quantise against).
std::optional<double> QuantisedFinalValue(double value, double counts_per_unit);

/// The bandwidths (rad/s) at which a loop designed from a bandwidth is also the loop
/// the drive runs.
struct BandwidthBounds {
    double min_rad_s = 0.0;
    double max_rad_s = INFINITY;
    bool Contains(double w) const { return w >= min_rad_s && w <= max_rad_s; }
    bool Empty() const { return !(min_rad_s <= max_rad_s); }
};

/// The highest bandwidth at which a loop designed in continuous time still does what
/// its design says, when its controller samples every `period_s` and commands an inner
/// loop closed at `inner_bandwidth_rad_s`. The loop's crossover lies at
/// `crossover_per_bandwidth` times its bandwidth (2 Dump + 1 for the PID that commands
/// current, 2 Dump for a PI); the sampled controller acts about a sample late there,
/// and the inner loop lags: both must stay small at the crossover. Infinite when
/// neither bounds it (a period or a factor of 0).
double HighestFaithfulBandwidth(double crossover_per_bandwidth, double period_s,
                                double inner_bandwidth_rad_s);

}  // namespace orvex::tuning
