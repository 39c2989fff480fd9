#include "tuning/scope_rules.h"

#include <algorithm>
#include <cmath>

#include "host/drive/scope_logger.h"

namespace orvex::tuning {

namespace {

// The share of the window, in percent, recorded before the trigger: the ramp up, so
// that the start of the move is seen.
unsigned Pretrigger(double ramp_s, double window_s) {
    if (!(window_s > 0.0)) return 0;
    const double p = std::ceil(100.0 * ramp_s / window_s);
    return static_cast<std::uint16_t>(std::clamp(p, 0.0, 65535.0));
}

// Both ramps and both holds: the whole bidirectional profile.
double BidirectionalWindow(const ProfileTimes& t) {
    return t.hold_s + t.pause_s + 2.0 * t.ramp_up_s + 2.0 * t.ramp_down_s;
}

}  // namespace

CaptureSettings SpeedCaptureSettings(std::optional<double> final_speed, int reference_type,
                                     bool multi_cycle, const ProfileTimes& t) {
    CaptureSettings c;
    if (final_speed) {
        // The negative profile runs to minus the final speed: the trigger follows it
        // there (the level of the positive profile would never be crossed).
        const double level = reference_type == 1 ? -*final_speed : *final_speed;
        c.window_s = reference_type == 2 ? BidirectionalWindow(t)
                                         : t.hold_s + t.ramp_up_s + t.ramp_down_s +
                                               std::min(t.ramp_up_s, t.ramp_down_s);
        c.pretrigger_percent = Pretrigger(t.ramp_up_s, c.window_s);
        c.trigger_mode = multi_cycle ? 2 : 4;
        c.trigger_slope = level >= 0 ? 1 : 0;
        c.trigger_variable = "Speed_Reference";
        c.level = level;
        return c;
    }
    // Without a final speed there is no level to trigger on: the capture runs free
    // over the whole profile.
    c.window_s = reference_type == 2 ? BidirectionalWindow(t)
                                     : t.hold_s + t.pause_s + t.ramp_up_s + t.ramp_down_s;
    return c;
}

CaptureSettings PositionCaptureSettings(std::optional<double> final_position,
                                        std::optional<int> reference_type, bool multi_cycle,
                                        const ProfileTimes& t) {
    CaptureSettings c;
    const bool bidirectional = reference_type && *reference_type == 2;
    if (!final_position) {
        c.window_s = bidirectional ? BidirectionalWindow(t)
                                   : t.hold_s + t.pause_s + t.ramp_up_s + t.ramp_down_s;
        return c;
    }
    const double p = *final_position;
    const double s1 = t.hold_s + t.ramp_up_s + t.ramp_down_s;
    c.window_s = s1 + std::min(t.ramp_up_s, t.ramp_down_s);
    if (!reference_type) {
        c.level = 0.95 * p;
        c.trigger_slope = 1;
    } else if (*reference_type == 1) {
        c.level = -0.95 * p;
        c.trigger_slope = p < 0 ? 1 : 0;
    } else if (bidirectional) {
        c.window_s = BidirectionalWindow(t);
        c.level = 0.9 * p;
        c.trigger_slope = p >= 0 ? 1 : 0;
    } else {
        c.level = 0.95 * p;
        c.trigger_slope = p >= 0 ? 1 : 0;
    }
    c.pretrigger_percent = Pretrigger(t.ramp_up_s, c.window_s);
    c.trigger_mode = multi_cycle ? 2 : 4;
    c.trigger_variable = "Target_Position";
    return c;
}

ChannelScaleValues ReferenceChannelScale(double final_value) {
    const double d = axis::Division125(std::abs(final_value * 0.25));
    return {d, final_value >= 0 ? 0.0 : -4.0 * d};
}

ChannelScaleValues CurrentChannelScale(double current_limit) {
    const double d = axis::Division125(current_limit / 3.0);
    return {d, 2.0 * d};
}

ChannelScaleValues RampSpeedChannelScale(double ramp_speed) {
    const double d = axis::Division125(std::abs(ramp_speed * 0.5));
    return {d, 2.0 * d};
}

}  // namespace orvex::tuning
