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
// - Position loop straight to current (any other "PositionControlType"): the PID with
//   poles at -PB and a pair of damping Dump is bounded from below as well, by the
//   motor's detent, and from above by its sampling and the current loop
//   (DirectLoopPassbands).

#include <optional>
#include <string>

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
    bool Contains(double w) const { return w >= min_rad_s && w <= max_rad_s; }
    /// No passband is sound (a direct position loop on a motor whose detent asks for
    /// more than the sampling allows).
    bool Empty() const { return !(min_rad_s <= max_rad_s); }
};

/// What the setup says of the motor and the drive under a position loop (base units;
/// the period and the current loop bound only the loop that commands current).
struct PositionLoopPlant {
    double total_inertia_kgm2 = 0;        ///< "Jt"
    double torque_constant_Nm_per_A = 0;  ///< "K"
    double rated_current_A = 0;           ///< "In"
    double full_steps_per_rev = 0;        ///< "NoMotorSteps"
    double damping = 0;                   ///< "Dump_P"
    double period_s = 0;                  ///< the loop's sampling period
    double current_bandwidth_rad_s = 0;   ///< "PB_C"
};

/// Hybrid step motors' data sheets give detent torques of about 1 % (large frames) to
/// 5 % (small frames) of the holding torque. The full-step rule below asks more than a
/// loop needs (its integral pulls the shaft the rest of the way: on the simulated motors
/// loops settle on the target from about 2.5 times below the passband the rule gives
/// for their true detent), so 2 % covers detents up to about 10 %.
inline constexpr double kDetentShareOfHolding = 0.02;

/// The passbands at which the designed direct position loop is the loop the motor gets.
/// Below: a step motor's rotor sits in a magnetic notch every full step, and a loop
/// whose stiffness, (2 Dump + 1) PB^2 Jt, does not push the detent torque at one full
/// step of error leaves the shaft stuck in a notch beside the target while the integral
/// winds; it jumps past and hunts. The detent torque is not in the setup; it is taken
/// as kDetentShareOfHolding of the holding torque, sqrt 2 K In. Above: the crossover,
/// about (2 Dump + 1) PB, turns at most 0.25 rad per sample (the sampled PID then stays
/// within a few per cent of its continuous design's step, at about half the phase it
/// may lose before it rings: a whole sample's delay makes a damping 0.3 to 2 design
/// unstable at 0.44 to 0.68 rad per sample) and stays a tenth of the current loop's
/// passband (about 6 degrees of phase).
PassbandRange DirectLoopPassbands(const PositionLoopPlant& plant);

/// Why a direct loop cannot be designed for `passband_rad_s`, in the user's words and
/// in Hz; empty when `range` contains it.
std::string DirectLoopRefusal(const PassbandRange& range, double passband_rad_s);

/// The lowest passband [rad/s] of a position loop of `damping` on `speed_loop` that
/// holds the shaft against the motor's detent: 0 when the speed loop alone does.
/// Behind a standing target the cascade is a spring of (b + a 2 Dump PB) Jt per radian
/// (the speed integral and the product of the two proportional gains; the integrals
/// above come later); below the detent's stiffness (the full-step rule of
/// DirectLoopPassbands) a target on the slope between two notches cannot be held: the
/// shaft falls into a notch, the integrals pull it over the crest into the next, and it
/// hunts from notch to notch whatever the freeze window.
double CascadedDetentMinimum(const PositionLoopPlant& plant, const InnerLoop& speed_loop);

/// Why the position loop on the speed loop cannot be designed for `passband_rad_s`;
/// empty when `range` contains it. With no passband at all, `speed_needed_rad_s` is the
/// speed loop that would leave one (SpeedPassbandForPositionLoop), or none at all.
std::string CascadedLoopRefusal(const PassbandRange& range, double passband_rad_s,
                                std::optional<double> speed_needed_rad_s = std::nullopt);

/// The slowest speed loop passband [rad/s] in the range its dialog accepts, at its
/// damping and with the gains "Tune" designs for it, under which some passband of the
/// position loop is sound; empty when even the fastest leaves none (the sampling is too
/// slow for the motor's detent) or the setup lacks what the bounds need.
std::optional<double> SpeedPassbandForPositionLoop(const CMC_Setup* setup);

/// The accepted range of `name` ("PB_S" or "PB_P"): from "<name>_minim" to the smaller
/// of "<name>_maxim" and the stability bound (the parameter's own limits where the
/// setup has no "_minim" or "_maxim"). A direct position loop ("PositionControlType"
/// other than 1) takes DirectLoopPassbands within them, and the position loop on the
/// speed loop starts no lower than CascadedDetentMinimum; either may leave no passband.
/// Empty when the setup has no such parameter.
std::optional<PassbandRange> AcceptedPassband(const CMC_Setup* setup, const char* name);

/// Gives `name`'s parameter the accepted range and moves a value beyond it onto its
/// maximum, so that neither the field, the slider nor "Tune" can design an unstable
/// loop. The range is computed afresh from "_minim" and "_maxim" each time. Returns the
/// range applied; a range with no passband is returned but not applied ("Tune" says
/// why).
std::optional<PassbandRange> ApplyAcceptedPassband(CMC_Setup* setup, const char* name);

}  // namespace orvex::tuning
