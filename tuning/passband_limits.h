#pragma once
// How fast the tuning dialogs let a speed loop, and a position loop cascaded on it, be
// designed. No Qt: setup values in, a range out.
//
// Both designs are the same PI loop on an integrator, L(s) = (2 z w s + w^2) / s^2,
// with a phase margin of atan(2 z sqrt(u)), u = 2 z^2 + sqrt(4 z^4 + 1) (70 degrees at
// z = 0.8). The designs take what lies inside the loop as ideal; on the drive it is
// not, and its lag eats that margin. A passband is accepted while the loop, with the
// drive's inner parts in its path, keeps at least two thirds of its designed margin
// wherever its gain crosses 1 (from a damping of 0.8 up, that is the textbook
// 45 degrees or more). The rest of the margin is left for what the rule does not know:
// the setup's filters in the loops, a current loop slower than its passband says, a
// plant that is not the design's rigid inertia.
//
// - Speed loop: in its path a dead time of one loop period T (the speed is the count
//   moved over the last sample, on average half a period old; the current reference is
//   held over the next, another half) and the current loop, which, closed at PB_C, lags
//   like a first-order loop of that bandwidth at the most. The bound is a fraction of
//   the loop rate: 1 / (2 pi) x 0.24 / (T + 1/PB_C) at z = 0.8, a 37th of the rate with
//   the zoo's current loops.
// - Position loop on the speed loop ("PositionControlType" 1): in its path the closed
//   speed loop as tuned (its gains and the dead time above), gain and phase, so that a
//   lightly damped speed loop's resonance counts too. With the zoo's speed loops
//   (25 Hz, z = 0.8) a position loop of z = 1 is accepted up to about a third of the
//   speed loop's passband.

#include <optional>

class CMC_Setup;

namespace orvex::tuning {

/// Largest passband [rad/s] of the PI loop on an integrator with `damping` whose dead
/// time `dead_time_s` takes at most a third of its designed phase margin.
double PiLoopPassbandLimit(double damping, double dead_time_s);

/// The closed inner (speed) loop as the outer loop sees it: L = (a s + b) / s^2 with a
/// dead time; a [1/s] and b [1/s^2] are its proportional and integral gains per unit of
/// inertia.
struct InnerLoop {
    double a = 0, b = 0, dead_time_s = 0;
};

/// Largest passband [rad/s] of a PI loop with `damping` closed around `inner`, whose
/// lag leaves the outer loop at least two thirds of its designed margin.
double CascadedPassbandLimit(double damping, const InnerLoop& inner);

/// The passband range the dialogs accept for "PB_S" or "PB_P" [rad/s].
struct PassbandRange {
    double min_rad_s = 0, max_rad_s = 0;
    /// The stability bound, not the setup's "_maxim" value, sets the maximum.
    bool limited = false;
};

/// The accepted range of `name` ("PB_S" or "PB_P"): from "<name>_minim" to the smaller
/// of "<name>_maxim" and the stability bound (the parameter's own limits where the
/// setup has no "_minim" or "_maxim"). A direct position loop ("PositionControlType"
/// other than 1) has no bound here. Empty when the setup has no such parameter.
std::optional<PassbandRange> AcceptedPassband(const CMC_Setup* setup, const char* name);

/// Gives `name`'s parameter the accepted range and moves a value beyond it onto its
/// maximum, so that neither the field, the slider nor "Tune" can design an unstable
/// loop. The range is computed afresh from "_minim" and "_maxim" each time. Returns the
/// range applied.
std::optional<PassbandRange> ApplyAcceptedPassband(CMC_Setup* setup, const char* name);

}  // namespace orvex::tuning
