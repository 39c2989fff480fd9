#pragma once
// What the position tuning test does differently according to how the drive closes
// its position loop: on top of the speed loop ("PositionControlType" 1) or straight
// into the current loop (any other value). The loop structure decides the drive
// program, the signals worth logging, whether a speed limit applies and which
// feed-forward paths exist. No Qt: setup values in, decisions out.

#include <array>
#include <optional>

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

}  // namespace orvex::tuning
