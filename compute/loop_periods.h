#pragma once
// The drive's loop periods as the Advanced dialog edits them: loop dividers that keep
// a sampling period when the PWM frequency changes, and the values that must keep
// their physical meaning when the slow (speed/position) loop period changes.
//
// Many parameters are held by the drive per slow-loop sample: times in samples,
// speeds in counts per sample, accelerations in counts per sample squared, current
// slopes in counts per sample. Their internal values follow the period (a time of
// 10 ms is 20 samples at 500 us and 40 at 250 us). The setup keeps every value in its
// physical base unit and derives the internal value from the period in force, so a
// period change already moves each internal value by the right power of the period
// ratio; what is left to do is to make the values fit the ranges of the new period and
// keep each I2t protection's current-squared-times-time when its time cannot.

#include "host/setup/setup.h"

namespace orvex {

/// How a parameter's internal value depends on the slow loop period T.
enum class PeriodDependence {
    kNone,
    kTime,          ///< "s": internal ~ 1/T (samples)
    kSpeed,         ///< "rad/s", "m/s": internal ~ T
    kCurrentSlope,  ///< "A/s": internal ~ T
    kAcceleration,  ///< "rad/s^2", "m/s^2": internal ~ T^2
};

/// The dependence of `p` by its unit type; options (value types 5 and 6) never
/// depend on the period: they are the drive's registers themselves.
PeriodDependence PeriodDependenceOf(const CMC_Setup& setup, const CMC_Parameter& p);

/// The loop divider ("CLPER", "SLPER") that gives a loop period nearest `period_s` at
/// the present "PWMPER": floor(DSP_freq x period x 0.5 / PWMPER + 0.5).
double LoopDividerForPeriod(const CMC_Setup& setup, double period_s);

struct PeriodChangeOutcome {
    int kept = 0;     ///< period-dependent parameters whose value was kept
    int clamped = 0;  ///< of those, values the new period's ranges limited
};

/// After the slow loop period changed: gives every period-dependent parameter its
/// physical value again within the ranges of the new period (the options are
/// recomputed and read back first, so ranges that follow from the period are those of
/// the new one), corrects the current of each I2t protection whose time was limited
/// (I x sqrt(expected / actual) keeps I^2 x t), then recomputes the options from the
/// parameters and reads them back.
PeriodChangeOutcome KeepValuesAcrossSlowLoopPeriodChange(CMC_Setup* setup);

}  // namespace orvex
