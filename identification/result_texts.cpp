#include "identification/result_texts.h"

#include <cmath>
#include <cstdio>

namespace orvex {
namespace {

struct MotionError {
    std::uint16_t bit;
    const char* text;
};

// Bit order is precedence: a short circuit is reported even when the ENABLE input
// went inactive with it.
constexpr MotionError kMotionErrors[] = {
    {drive::kMerShortCircuit, "Drive / Motor shortcircuit protection triggered."},
    {drive::kMerControlError, "Drive / Motor control error protection triggered."},
    {drive::kMerPositiveLimit,
     "Drive / Motor stopped due to positive limit switch input triggered."},
    {drive::kMerNegativeLimit,
     "Drive / Motor stopped due to negative limit switch input triggered."},
    {drive::kMerEnableInactive, "Drive / Motor ENABLE input is in DISABLED state."},
};

}  // namespace

const char* MotionErrorText(int mer, std::uint16_t mask) {
    const int set = mer & mask;
    for (const auto& e : kMotionErrors)
        if (set & e.bit) return e.text;
    return nullptr;
}

std::string FormatResultValue(ResultFormat format, double value) {
    char text[512];
    switch (format) {
        case ResultFormat::kFixed:
            std::snprintf(text, sizeof text, "%f", value);
            break;
        case ResultFormat::kShortUpper:
            std::snprintf(text, sizeof text, "%G", value);
            break;
        case ResultFormat::kShortLower:
            std::snprintf(text, sizeof text, "%g", value);
            break;
        case ResultFormat::kInteger:
            // A double handed to "%d" is undefined behaviour; print the whole part.
            if (!std::isfinite(value))
                std::snprintf(text, sizeof text, "%g", value);
            else
                std::snprintf(text, sizeof text, "%.0f",
                              std::trunc(value) == 0 ? 0.0 : std::trunc(value));
            break;
    }
    return text;
}

std::optional<std::string> CloseConfirmationText(const std::vector<ResultParameter>& results,
                                                 bool succeeded) {
    std::string message =
        "A different value than specified has been detected for the following "
        "parameter(s):\r\n\r\n";
    bool changed = false;
    for (const auto& r : results) {
        const std::string before = FormatResultValue(r.format, r.value_at_open);
        const std::string now = FormatResultValue(r.format, r.value_now);
        if (before != now && succeeded) {
            message += r.label + ":\tOld = " + before + "\tNew = " + now + "\r\n";
            changed = true;
        }
    }
    if (!changed) return std::nullopt;
    message += "\r\nDo you want to save the new value(s)? (Recommended)";
    return message;
}

}  // namespace orvex
