#pragma once
// The few numbers the tuning dialogs derive from the setup before a run: the final
// value of the profile as the drive takes it. No Qt.

#include <optional>

namespace orvex::tuning {

/// The final value of the profile (speed or position, base unit) moved onto a whole,
/// nonzero number of drive counts: `counts_per_unit` counts (per speed-loop sample for a
/// speed) per base unit. A value that rounds to no count becomes one count in its own
/// direction, so the profile always moves. Empty when the scale is 0 (nothing to
/// quantise against).
std::optional<double> QuantisedFinalValue(double value, double counts_per_unit);

}  // namespace orvex::tuning
