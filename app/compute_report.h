#pragma once
// The report of `axishost compute`: every parameter with its value, internal value,
// limits and units, as JSON.

#include <string>

class CMC_Setup;

namespace axishost {
std::string ComputeReport(const CMC_Setup& setup);
}
