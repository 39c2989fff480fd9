#pragma once
// What in a setup keeps the scale factors from being computed. A zero PWM period
// register, clock, current range, supply voltage or transmission makes every factor
// built on it infinite; the conversions then leave their values as they were and the
// host shows no internal value. The user is told which setting or parameter is the
// cause instead of meeting empty fields.

#include <string>
#include <vector>

class CMC_Setup;

namespace orvex {

/// One line per setting or parameter that makes a scale factor unusable: its name, its
/// value and which values cannot be computed because of it. Empty for a sound setup.
/// Names the setup lacks are not looked for (a drive without the feature).
std::vector<std::string> ScaleInputProblems(const CMC_Setup* setup);

}  // namespace orvex
