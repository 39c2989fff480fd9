#pragma once
// The reference profile of the speed and position tuning programs, as the drive
// takes it: six segments, during segment i the reference changes by b_i counts per
// speed-loop sample at every sample, for a_i samples. No Qt: the table is arithmetic
// only, and tested as such.

#include <array>
#include <cstdint>
#include <string>

namespace orvex::tuning {

/// "Distances between ..." and "Reference variation ...": the two ways a table fails.
inline constexpr const char* kErrSegmentLength =
    "Distances between consecutive points on X axis must be greater than 0 and below 32768.";
inline constexpr const char* kErrSlopeOverflow =
    "Reference variation between two consecutive points is too big (slope overflow).";

/// The drive takes at most this many samples, and this many counts per sample, in a
/// segment (16-bit signed registers).
inline constexpr std::int64_t kMaxSegmentValue = 32767;

enum class ReferenceType { kPositive = 0, kNegative = 1, kBidirectional = 2 };
/// The setup's reference type value: 1 negative, 2 bidirectional, anything else positive.
ReferenceType ReferenceTypeFromValue(double value);

/// A speed reference ramps and lands only where the ramp takes more than one sample;
/// a position reference always ramps for N - 1 samples and lands in the last one.
enum class ReferenceKind { kSpeed, kPosition };

/// The profile's four times, in seconds: ramp up ("TaPS"/"TaPP"), hold at the final
/// value ("TPS"/"TPP"), ramp down ("TaNS"/"TaNP"), pause ("TNS"/"TNP").
struct ProfileTimes {
    double ramp_up_s = 0;
    double hold_s = 0;
    double ramp_down_s = 0;
    double pause_s = 0;
};

struct Segment {
    /// Samples, as the drive reads the register (a negative count wraps to a large
    /// unsigned one, which the check refuses).
    std::uint32_t samples = 0;
    /// Increment per sample as 16.16 fixed point (65536 = one count per sample).
    std::int64_t increment_q16 = 0;
    /// The increment in counts per sample, as written to "b0" ... "b5".
    double Increment() const { return static_cast<double>(increment_q16) / 65536.0; }
};

struct SegmentTable {
    std::array<Segment, 6> segments{};
    /// Index of the first segment that fails its check (it and those after it are
    /// not to be written), or 6 when the whole table is good.
    int first_bad = 6;
    /// Why segment `first_bad` fails; empty when the table is good.
    std::string error;
    bool ok() const { return first_bad == 6; }
};

/// Builds and checks the table for a final value of `final_counts` (counts per sample
/// for a speed, counts for a position), with loop period `period_s`. A ramp of zero
/// samples gets a zero increment (it adds nothing), never a division by zero.
SegmentTable BuildReferenceSegments(ReferenceKind kind, ReferenceType type,
                                    std::int32_t final_counts, const ProfileTimes& times,
                                    double period_s);

}  // namespace orvex::tuning
