#pragma once

namespace axis {
/// The host library's version, shown by axishost --version.
const char* AxisCoreVersion();
}  // namespace axis
