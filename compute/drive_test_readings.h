#pragma once
// What the encoder and analogue reference tests make of the raw readings a drive
// program leaves: encoder counts as a shaft angle, the counts of one commanded
// revolution as a verdict on direction and resolution, and the analogue input
// count as a voltage and as the command it means. No window, no drive.

namespace orvex {

/// The shaft angle [rad] of an incremental encoder position: 4 x `lines` counts
/// (every edge of A and B) make one turn. 0 for a line count of 0 or less.
double EncoderAngleFromCounts(double counts, double lines);

/// What one commanded revolution of the resolution test says.
enum class ResolutionVerdict {
    kFound,       ///< the shaft turned forwards; the best standard resolution stands
    kNoMovement,  ///< no counts (or only backwards counts that name no encoder)
    kReversed,    ///< counted backwards, or never seen moving while the test ran
};

/// The verdict on the counts moved in one commanded revolution, in this order:
/// counts <= 0 with the best standard resolution the table's first entry, or no
/// counts: no movement; counts < 0: reversed (encoder channels or motor phases
/// swapped); never seen moving while the program ran: reversed; else found.
ResolutionVerdict JudgeResolutionRun(double counts, int best_lines, int first_table_lines,
                                     bool movement_seen);

/// The encoder lines the counts of one revolution stand for: counts / 4, the whole
/// part toward zero (what the standard-resolution table is asked about).
int LinesFromRevolutionCounts(double counts);

/// A closed interval of a reading (volts, or a command in its display unit).
struct ReadingRange {
    double min = 0.0;
    double max = 0.0;
};

/// The analogue input's voltage span from its range setting [V]: exactly 20 is the
/// bipolar +-10 V input, exactly 5 the 0..5 V input, anything else the 0..3.3 V one.
ReadingRange AnalogueInputVoltageRange(double inputs_range_V);

/// Full-scale count of the analogue input: a 10-bit converter left-aligned in 16
/// bits (1023 x 64), so the top reading is 65472, not 65535.
inline constexpr double kAnalogueFullScaleCounts = 65472.0;

/// The reading `counts` (0..65472) mapped linearly onto `range`, rounded to
/// hundredths.
double AnalogueReading(double counts, ReadingRange range);

/// Where a bar of `range` is drawn from: zero when the range contains zero, else
/// its lower end (min > 0 or max < 0), so the bar always starts inside its scale.
double BarDrawingReference(ReadingRange range);

}  // namespace orvex
