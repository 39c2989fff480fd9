#pragma once
// What the tuning dialogs ask of the drive scope: the capture window and trigger that
// frame one profile, and the channel scales that show the reference and the
// response. No Qt: values in, settings out, tested as tables.

#include <optional>
#include <string>

#include "tuning/reference_segments.h"

namespace orvex::tuning {

/// Arguments of CMC_ScopeLogger::ChangeSettings.
struct CaptureSettings {
    double window_s = 0;
    int trigger_mode = 1;   // 1 free-running, 2 repeated, 4 single
    int trigger_slope = 1;  // 1 rising, 0 falling
    std::string trigger_variable;
    double level = 0;
    unsigned pretrigger_percent = 0;

    bool operator==(const CaptureSettings&) const = default;
};

/// The speed dialog's capture: triggered on "Speed_Reference" at the final speed (at
/// minus it for the negative profile) when the setup has one (single capture for one
/// run, repeated for repeated runs),
/// otherwise free-running over the whole profile. `final_speed` in base units,
/// `reference_type` the setup's value (0 when absent).
CaptureSettings SpeedCaptureSettings(std::optional<double> final_speed, int reference_type,
                                     bool multi_cycle, const ProfileTimes& times);

/// The position dialog's capture, triggered on "Target_Position" near the final
/// position; `reference_type` empty when the setup has no reference type.
CaptureSettings PositionCaptureSettings(std::optional<double> final_position,
                                        std::optional<int> reference_type, bool multi_cycle,
                                        const ProfileTimes& times);

/// A channel's division and offset in the unit the user chose.
struct ChannelScaleValues {
    double division = 1;
    double offset = 0;
};

/// A reference and its response (speed or position): a quarter of the final value per
/// division; a negative final value is shown from below.
ChannelScaleValues ReferenceChannelScale(double final_value);
/// Current reference and motor current: a third of the current limit per division.
ChannelScaleValues CurrentChannelScale(double current_limit);
/// The speed channels of a cascaded position test: half the ramp speed per division.
ChannelScaleValues RampSpeedChannelScale(double ramp_speed);

}  // namespace orvex::tuning
