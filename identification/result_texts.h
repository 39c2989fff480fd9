#pragma once
// What every test dialog shares and needs no window for: the motion error texts of
// the drive's MER register, and the close-time question about identified values.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvex {

/// The failure text of the first motion error set in `mer & mask`, in the order
/// short circuit, control error, positive limit, negative limit, ENABLE input; null
/// when none of these is set (other bits never fail a test).
const char* MotionErrorText(int mer, std::uint16_t mask);

/// How a result value is printed for the close-time question: like printf with
/// "%f", "%d", "%G" or "%g". "%d" prints the value truncated toward zero.
enum class ResultFormat { kFixed, kInteger, kShortUpper, kShortLower };

std::string FormatResultValue(ResultFormat format, double value);

/// One identified value as the close-time question lists it.
struct ResultParameter {
    std::string name;   ///< the setup parameter ("Vdc")
    std::string label;  ///< "Power supply"
    ResultFormat format;
    double value_at_open;  ///< the parameter when the dialog opened (base unit)
    double value_now;      ///< the parameter now (base unit)
};

/// The question asked at Close: null when no value printed differently from its
/// value at opening, or when the test has not succeeded.
std::optional<std::string> CloseConfirmationText(const std::vector<ResultParameter>& results,
                                                 bool succeeded);

}  // namespace orvex
