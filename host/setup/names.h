#pragma once
// Case-insensitive name handling. Parameter, unit and setting names of a setup are
// compared without regard to letter case ("isMotori2t" and "isMotorI2t" are one
// parameter). Only ASCII letters fold; unit names such as "°C" compare byte for byte.

#include <string>
#include <string_view>

namespace axis {

/// ASCII lower-case copy of a name, the key under which setups index their names.
std::string FoldName(std::string_view name);

/// True when the two names are equal without regard to ASCII letter case.
bool NamesEqual(std::string_view a, std::string_view b);

}  // namespace axis
