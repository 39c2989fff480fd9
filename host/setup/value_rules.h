#pragma once
// The rules by which a user's value becomes a parameter's value, and by which a value
// is shown: kept apart from any widget so that every dialog applies the same rules and
// so that they can be checked without a display.
//
// A dialog control does three things with them: it shows `FormatValue` of the value in
// the shown unit, it hands what the user entered to `CheckUserValue` and either writes
// the returned value or shows the returned refusal, and a slider maps between its
// position and the value with `SliderPosition` / `SliderValue` over the parameter's
// limits or over a narrower `SliderSpan`.

#include <optional>
#include <string>

class CMC_Parameter;
class CMC_Unit;

namespace axis {

/// Whether a switch parameter is on: its value truncated to an integer is exactly 1.
/// 0.9, 2 and -1 are off; 1.7 is on.
bool IsSwitchOn(double value);

/// The text a field shows for a value: up to seven significant digits, no exponent
/// for magnitudes from 1e-4 up to 1e9, no trailing zeros, "0" for zero of either
/// sign, "?" for a value that is not finite.
std::string FormatValue(double value);

/// The unit the parameter is shown in (the user's choice among the units of its
/// type), or null when the parameter has no unit type.
const CMC_Unit* ShownUnit(const CMC_Parameter& parameter);

/// The parameter's limits converted to the shown unit, `low` <= `high` (a unit may
/// reverse the order). `unit` is the shown unit's name, empty when there is none.
struct ShownRange {
    double low = 0;
    double high = 0;
    std::string unit;
};
ShownRange ShownRangeOf(const CMC_Parameter& parameter);

/// What becomes of a value the user entered: the value to write (base unit), or the
/// message that refuses it, naming the range in the shown unit.
struct UserValue {
    std::optional<double> value;
    std::string refusal;
    bool accepted() const { return value.has_value(); }
};

/// Checks a value the user entered, in base unit (NaN for text that is no number),
/// against the parameter's limits and type. A value a hair outside a limit (1e-9 of
/// the larger limit, so that a limit typed back as shown is not refused for the
/// rounding of its last digit) is accepted and pulled onto the limit; a whole-number
/// parameter takes the nearest whole number of a value that is one within that slack
/// and refuses any other fraction.
UserValue CheckUserValue(const CMC_Parameter& parameter, double base_value);

/// The values, base unit, at the two ends of a slider.
struct SliderSpan {
    double low = 0;
    double high = 0;
};

/// The parameter's own limits.
SliderSpan LimitsSpan(const CMC_Parameter& parameter);

/// The span for trimming a tuned gain around its present value v: from the larger of
/// 0.5 v and the minimum to the smaller of 1.5 v and the maximum (for a negative v the
/// two multiples change places). When that leaves nothing to slide over -- a gain of
/// 0, or a value outside the limits -- the span is the limits, so that the slider can
/// still move the gain.
SliderSpan SpanAroundValue(const CMC_Parameter& parameter);

/// The position, 0 to `steps`, of a slider spanning `span` (the parameter's limits
/// when not given) in `steps` equal steps: nearest step, the ends for values beyond
/// the span, 0 when the span is empty.
int SliderPosition(const CMC_Parameter& parameter, int steps);
int SliderPosition(const CMC_Parameter& parameter, const SliderSpan& span, int steps);

/// The value (base unit) at slider position `position` of `steps`; whole-number
/// parameters take the nearest whole number.
double SliderValue(const CMC_Parameter& parameter, int position, int steps);
double SliderValue(const CMC_Parameter& parameter, const SliderSpan& span, int position, int steps);

/// The value (base unit) after one press of a slider group's spin button: the present
/// value moved by one step of the slider (`span` in `steps` steps) up (`direction` > 0)
/// or down, so that a press is the finest move the slider itself makes, also where the
/// value lies outside the slider's span (a gain typed in or designed since). Held
/// within the parameter's limits; a whole-number parameter moves by at least 1.
double SpinValue(const CMC_Parameter& parameter, const SliderSpan& span, int steps, int direction);

}  // namespace axis
