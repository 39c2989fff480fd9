#include "host/setup/value_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/setup/parameter.h"
#include "host/setup/units.h"

namespace axis {

namespace {

// Relative slack of the range check: a limit shown with seven digits and typed back
// differs from the stored limit in far later digits than this.
constexpr double kRangeSlack = 1e-9;

std::string Printf(const char* format, int precision, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, precision, value);
    return text;
}

bool IsWhole(const CMC_Parameter& p) {
    return p.GetType() != kTypeReal;
}

}  // namespace

bool IsSwitchOn(double value) {
    return std::trunc(value) == 1.0;
}

std::string FormatValue(double value) {
    if (!std::isfinite(value)) return "?";
    if (value == 0.0) return "0";
    const double magnitude = std::fabs(value);
    if (magnitude < 1e-4 || magnitude >= 1e9) return Printf("%.*g", 7, value);
    // Seven significant digits as decimals, then trailing zeros dropped.
    const int integer_digits = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    const int decimals = std::max(0, 7 - integer_digits);
    std::string text = Printf("%.*f", decimals, value);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

const CMC_Unit* ShownUnit(const CMC_Parameter& p) {
    const CMC_UnitType* type = p.GetUnitType();
    return type ? type->FindUnit(p.GetUnitName()) : nullptr;
}

ShownRange ShownRangeOf(const CMC_Parameter& p) {
    const CMC_Unit* unit = ShownUnit(p);
    ShownRange range;
    range.low = unit ? unit->FromBase(p.GetMinInBaseUnit()) : p.GetMinInBaseUnit();
    range.high = unit ? unit->FromBase(p.GetMaxInBaseUnit()) : p.GetMaxInBaseUnit();
    if (range.low > range.high) std::swap(range.low, range.high);
    if (unit) range.unit = p.GetUnitName();
    return range;
}

UserValue CheckUserValue(const CMC_Parameter& p, double base_value) {
    const double min = p.GetMinInBaseUnit();
    const double max = p.GetMaxInBaseUnit();
    const double slack = kRangeSlack * std::max({std::fabs(min), std::fabs(max), 1.0});
    const bool whole = IsWhole(p);
    const bool fits = std::isfinite(base_value) && base_value >= min - slack &&
                      base_value <= max + slack &&
                      (!whole || std::fabs(base_value - std::round(base_value)) <= slack);
    if (fits) return {whole ? std::round(base_value) : std::clamp(base_value, min, max), {}};

    const ShownRange shown = ShownRangeOf(p);
    std::string range = FormatValue(shown.low) + " and " + FormatValue(shown.high);
    if (!shown.unit.empty()) range += " " + shown.unit;
    return {std::nullopt,
            (whole ? "Enter a whole number between " : "Enter a value between ") + range + "."};
}

SliderSpan LimitsSpan(const CMC_Parameter& p) {
    return {p.GetMinInBaseUnit(), p.GetMaxInBaseUnit()};
}

SliderSpan SpanAroundValue(const CMC_Parameter& p) {
    const double v = p.GetValueInBaseUnit();
    const SliderSpan limits = LimitsSpan(p);
    const SliderSpan around{std::max(std::min(0.5 * v, 1.5 * v), limits.low),
                            std::min(std::max(0.5 * v, 1.5 * v), limits.high)};
    return around.low < around.high ? around : limits;
}

int SliderPosition(const CMC_Parameter& p, int steps) {
    return SliderPosition(p, LimitsSpan(p), steps);
}

int SliderPosition(const CMC_Parameter& p, const SliderSpan& span, int steps) {
    steps = std::max(1, steps);
    const double width = span.high - span.low;
    const double fraction = width > 0 ? (p.GetValueInBaseUnit() - span.low) / width : 0.0;
    return static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * steps));
}

double SliderValue(const CMC_Parameter& p, int position, int steps) {
    return SliderValue(p, LimitsSpan(p), position, steps);
}

double SliderValue(const CMC_Parameter& p, const SliderSpan& span, int position, int steps) {
    steps = std::max(1, steps);
    const double value = span.low + (span.high - span.low) * position / steps;
    return IsWhole(p) ? std::round(value) : value;
}

double SpinValue(const CMC_Parameter& p, const SliderSpan& span, int steps, int direction) {
    const double value = p.GetValueInBaseUnit();
    double step = std::fabs(span.high - span.low) / std::max(1, steps);
    if (IsWhole(p)) step = std::max(1.0, std::round(step));
    const double moved = direction > 0 ? value + step : direction < 0 ? value - step : value;
    // A range may be given with its ends swapped; the clamp needs them in order.
    const SliderSpan limits = LimitsSpan(p);
    return std::clamp(moved, std::min(limits.low, limits.high), std::max(limits.low, limits.high));
}

}  // namespace axis
