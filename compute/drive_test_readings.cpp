#include "compute/drive_test_readings.h"

#include <cmath>

#include "host/setup/host_math.h"

namespace orvex {

double EncoderAngleFromCounts(double counts, double lines) {
    if (!(lines > 0)) return 0.0;
    return counts * M_PI / lines * 0.5;
}

ResolutionVerdict JudgeResolutionRun(double counts, int best_lines, int first_table_lines,
                                     bool movement_seen) {
    if (counts <= 0 && best_lines == first_table_lines) return ResolutionVerdict::kNoMovement;
    if (counts == 0) return ResolutionVerdict::kNoMovement;
    if (counts < 0) return ResolutionVerdict::kReversed;
    if (!movement_seen) return ResolutionVerdict::kReversed;
    return ResolutionVerdict::kFound;
}

int LinesFromRevolutionCounts(double counts) {
    if (!std::isfinite(counts)) return 0;
    // Integer division toward zero of the truncated count.
    return static_cast<int>(static_cast<long long>(std::trunc(counts)) / 4);
}

ReadingRange AnalogueInputVoltageRange(double inputs_range_V) {
    if (inputs_range_V == 20.0) return {-10.0, 10.0};
    if (inputs_range_V == 5.0) return {0.0, 5.0};
    return {0.0, 3.3};
}

double AnalogueReading(double counts, ReadingRange range) {
    return RoundDecimalValue(
        (range.max - range.min) * counts / kAnalogueFullScaleCounts + range.min, 2);
}

double BarDrawingReference(ReadingRange range) {
    if (range.min > 0 || range.max < 0) return range.min;
    return 0.0;
}

}  // namespace orvex
