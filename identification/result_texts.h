#pragma once
// What every test dialog shares and needs no window for: the motion error texts of
// the drive's MER register, and the close-time question about identified values.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/link/drive_facts.h"

namespace orvex {

/// The motion errors a test watches while its programs run. A test that drives motor
/// current stops on a short circuit and on an inactive ENABLE input; one that leaves
/// the power stage off stops on a short circuit only; a few watch every bit.
inline constexpr std::uint16_t kMotionMaskWithCurrent =
    drive::kMerShortCircuit | drive::kMerEnableInactive;
inline constexpr std::uint16_t kMotionMaskWithoutCurrent = drive::kMerShortCircuit;
inline constexpr std::uint16_t kMotionMaskAll = 0xFFFF;

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
