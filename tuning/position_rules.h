#pragma once
// What the position tuning test does differently according to how the drive closes
// its position loop: on top of the speed loop ("PositionControlType" 1) or straight
// into the current loop (any other value). The loop structure decides the drive
// program, the signals worth logging, whether a speed limit applies and which
// feed-forward paths exist. No Qt: setup values in, decisions out.

#include <array>
#include <optional>
#include <string>

#include "tuning/tuning_rules.h"

class CMC_Setup;

namespace orvex::tuning {

/// The loop structure, as the setup states it; an absent parameter is empty.
struct PositionLoopStructure {
    std::optional<int> control_mode;           ///< "ControlMode": 0 position, 1 speed
    std::optional<int> position_control_type;  ///< "PositionControlType": 1 cascaded
    std::optional<int> pos_spd_in_fast_loop;   ///< "PosSpd_in_FastLoop"
    bool has_speed_forward = false;            ///< the setup has "SpeedForward"

    /// The position loop commands the speed loop (a value other than 1, or none,
    /// means it commands current).
    bool Cascaded() const { return position_control_type == 1; }
    /// Position mode with the cascaded loop: only then does the speed loop's limit
    /// ("Limit_Speed") bound the test's motion.
    bool SpeedLimitApplies() const { return control_mode == 0 && Cascaded(); }
};

/// The drive program that runs the position loop of `loop` through the profile.
const char* PositionTuningProgram(const PositionLoopStructure& loop);

/// The four logged signals: the position reference and the load position, then the
/// pair of the inner loop the position loop commands (speed reference and load speed
/// when cascaded, current reference and motor current otherwise).
std::array<const char*, 4> PositionLoggedSignals(const PositionLoopStructure& loop);

/// Which parts of the position test's controller page may be used.
struct PositionControlStates {
    bool speed_limit = false;        ///< "Speed limit" frame and its field
    bool feedforward_frame = true;   ///< the "Feedforward" frame
    bool speed_feedforward = false;  ///< the "Speed" feed-forward fields
    bool acceleration_feedforward = false;

    bool operator==(const PositionControlStates&) const = default;
};

/// The feed-forward paths the drive applies in its position loop: with a speed
/// feed-forward parameter in the setup, both paths act only in position mode with
/// the loops in the slow loop; without one, the speed path needs the cascaded loop
/// and only the direct loop run in the fast loop has no acceleration path.
PositionControlStates PositionControlStatesFor(const PositionLoopStructure& loop);

/// What the setup says of the motor and the drive under a position loop that commands
/// current directly (base units).
struct DirectLoopPlant {
    double total_inertia_kgm2 = 0;        ///< "Jt"
    double torque_constant_Nm_per_A = 0;  ///< "K"
    double rated_current_A = 0;           ///< "In"
    double full_steps_per_rev = 0;        ///< "NoMotorSteps"
    double damping = 0;                   ///< "Dump_P"
    double period_s = 0;                  ///< the loop's sampling period
    double current_bandwidth_rad_s = 0;   ///< "PB_C"
};

/// The bandwidths at which the designed direct loop (poles at -PB and a pair of
/// damping Dump) is the loop the motor gets. Below: a step motor's rotor sits in a
/// magnetic notch every full step, and a loop whose stiffness, (2 Dump + 1) PB^2 Jt,
/// does not push the detent torque at one full step of error leaves the shaft stuck in
/// a notch beside the target while the integral winds; it jumps past and hunts. The
/// detent torque is not in the setup; it is taken as kDetentShareOfHolding of the
/// holding torque, sqrt 2 K In. Above: HighestFaithfulBandwidth with the crossover at
/// (2 Dump + 1) PB.
BandwidthBounds DirectLoopBandwidths(const DirectLoopPlant& plant);

/// The same from the setup, within the range the setup gives "PB_P"; empty when the
/// setup lacks a value the rule reads.
std::optional<BandwidthBounds> DirectLoopBandwidths(const CMC_Setup* setup);

/// Why a direct loop cannot be designed for `bandwidth_rad_s`, in the user's words and
/// in Hz; empty when `bounds` contain it.
std::string DirectLoopBandwidthRefusal(const BandwidthBounds& bounds, double bandwidth_rad_s);

/// Hybrid step motors' data sheets give detent torques of about 1 % (large frames) to
/// 5 % (small frames) of the holding torque. The full-step rule asks more than a loop
/// needs (its integral pulls the shaft the rest of the way: on the simulated motors
/// loops settle on the target from about 2.5 times below the bandwidth the rule gives
/// for their true detent), so 2 % covers detents up to about 10 %.
inline constexpr double kDetentShareOfHolding = 0.02;

}  // namespace orvex::tuning
