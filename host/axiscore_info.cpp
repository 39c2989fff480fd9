#include "host/axiscore_info.h"

namespace axis {
const char* AxisCoreVersion() {
    return "axiscore 0.1";
}
}  // namespace axis
