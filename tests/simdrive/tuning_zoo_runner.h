#pragma once
// Tunes the speed and position loops of a motor of the zoo (resources/sim/zoo/) the
// way the tuning dialogs do -- "Tune" designs the gains from the bandwidth and the
// damping, the forward sequence encodes them into the options, the preliminary
// program aligns the rotor, the tuning program follows the six-segment reference --
// and compares the logged step with the step the design promises. The slow zoo
// tuning test checks the results, bench_tuning_loops prints them.
//
// The prediction is the design's own closed loop, continuous, on the design's plant
// (a rigid inertia Jt driven through an ideal current loop, torque K i), fed with
// the very reference samples the drive followed and read the way the drive reads
// speed (counts moved per sample):
//   speed loop:              v/r = (2 z w s + w^2) / (s^2 + 2 z w s + w^2)
//     -- a PI loop: its zero at w / (2 z) adds overshoot to the plain second order;
//   position with speed loop: the position PI (2 z_P w_P s + w_P^2) / s closed around
//     the designed speed loop above -- the position design takes the speed loop as
//     ideal, which it is not at the zoo's bandwidth ratio of about three;
//   position without speed loop: the PID on the double integrator,
//     x/r = (a w s^2 + a w^2 s + w^3) / ((s + w)(s^2 + 2 z w s + w^2)), a = 2 z + 1.
// Feed-forward ("KFFS_scl", "KFFA_scl") is switched off for these runs: it is not part
// of the feedback design, and with it the step says little about the loop.
//
// The step is as large as the designed response allows without reaching half of any
// limit on its way (test current and speed limits, the integral saturations), found
// from the prediction itself: the loop stays the linear loop that was designed. A
// speed step starts from a running base speed of half the step (plus a fraction of a
// count), reached and left by slow ramps: friction is then a steady torque the
// integral holds, detent a ripple far above the loop's passband, and the counts fall
// differently in each repeated run, so that their mean sees through the encoder's
// one-count steps. Speed runs are averaged until that dither is under 1 % of the step.
//
// The speed loop runs sampled: the motion over the last sample is half a sample old
// and the current is held over the next, about one sample of dead time that the
// continuous design leaves out (at the zoo's 25 Hz and 2 kHz some 8 degrees of phase:
// 2 to 4 points more overshoot and a faster rise than predicted). The drive's loop
// runs on its speed observer instead (simdrive/estimators.h), which predicts the
// speed for the middle of the coming sample and so takes that dead time out; the
// logged Load_Speed stays the counts per sample, which the prediction reads alike.
//
// The direct position loop's step is ramped over the design's time constant 1 / PB
// ("TaPP"): its derivative acts on the error, and a jump would spend the current on a
// one-sample kick, leaving a step too small against friction and detent. It runs at the
// setup's bandwidth moved into the range its dialog accepts; where that range is
// empty, at the setup's bandwidth, marked as refused.

#include <optional>
#include <string>
#include <vector>

#include "tuning/step_response.h"

namespace orvex::sim::zoo {

enum class TunedLoop { kSpeed, kPositionWithSpeed, kPositionDirect };
const char* LoopName(TunedLoop loop);

struct LoopStep {
    std::string motor;
    TunedLoop loop = TunedLoop::kSpeed;
    double bandwidth_rad_s = 0;  // "PB_S" or "PB_P"
    double damping = 0;          // "Dump_S" or "Dump_P"
    double step_counts = 0;      // counts per sample (speed) or counts (position)
    std::optional<tuning::StepResponseFigures> predicted, achieved;
    /// The dialog designs the loop for this bandwidth (always, but for the direct
    /// position loop outside its sound range).
    bool accepted = true;
    /// The speed loop's passband when it was tuned anew first, as the position dialog
    /// asks when the setup's is too soft for the motor's detent; 0 when it was not.
    double retuned_speed_rad_s = 0;
    /// The programs finished, the test flag was good and no protection tripped.
    bool ran = false;
    /// At the end of the hold the response is on the reference (settled), and at rest
    /// rather than swinging (at_rest: stable, if perhaps held off by friction).
    bool settled = false;
    bool at_rest = false;
    std::string error;  // why a run did not give figures
    /// The logged run and the prediction, one value per slow-loop sample.
    std::vector<double> time_s, reference, response, prediction;
};

/// How a run is made. The default is the loop as "Tune" designs it, on the motor as
/// built, one run of the profile.
struct RunOptions {
    /// The bandwidth to design for (rad/s); the setup's own when empty.
    std::optional<double> bandwidth_rad_s;
    /// Keep the setup's biquad filters in the loops. Off by default: the designs do
    /// not know them, and their lag is the user's choice, not the design's.
    bool setup_filters = false;
    /// Take away what the designs leave out of the motor (detent torque, Coulomb and
    /// viscous friction): the difference tells the loops' faults from the plant's.
    bool frictionless = false;
    /// Repeated runs ("MultiC") averaged sample by sample: the encoder's one-count
    /// steps fall differently in each, so the mean shows the response beneath them.
    /// Speed loop only; above 1, at least as many runs as bring the dither in the mean
    /// under 1 % of the step (at most 256).
    int cycles = 1;
};

/// One step run of `loop` on `motor`.
LoopStep RunLoopStep(const std::string& motor, TunedLoop loop, const RunOptions& options = {});

/// The bandwidth range the dialog accepts for the loop on this motor (the tuning
/// dialogs' own rule).
struct BandwidthRange {
    double min_rad_s = 0, max_rad_s = 0;
};
BandwidthRange AcceptedBandwidths(const std::string& motor, TunedLoop loop);

/// Relative error of an achieved figure against the prediction; for overshoot the
/// difference in percentage points counts when the prediction is below 5 %, where a
/// ratio means nothing.
double RiseTimeError(const LoopStep& step);
double OvershootError(const LoopStep& step);

}  // namespace orvex::sim::zoo
