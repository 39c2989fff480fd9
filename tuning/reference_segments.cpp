#include "tuning/reference_segments.h"

#include <cmath>
#include <cstdlib>

#include "host/setup/host_math.h"

namespace orvex::tuning {

namespace {

constexpr double kQ16 = 65536.0;

// 16.16 fixed point, rounded half up as the drive's own tables are.
std::int64_t Q16(double counts_per_sample) {
    return static_cast<std::int64_t>(std::floor(counts_per_sample * kQ16 + 0.5));
}

// The per-sample increment that moves `delta` counts over `samples` samples; a ramp of
// no samples moves nothing, the landing after it makes the whole move.
std::int64_t Ramp(double delta, std::int64_t samples) {
    return samples == 0 ? 0 : Q16(delta / static_cast<double>(samples));
}

// What a ramp segment has moved the reference by, in counts.
double Moved(std::int64_t q, std::int64_t samples) {
    return static_cast<double>(q) * static_cast<double>(samples) / kQ16;
}

Segment Make(std::int64_t samples, std::int64_t q) {
    // The drive reads the count as an unsigned 32-bit register.
    return {static_cast<std::uint32_t>(samples), q};
}

}  // namespace

ReferenceType ReferenceTypeFromValue(double value) {
    const auto t = static_cast<int>(value);
    if (t == 1) return ReferenceType::kNegative;
    if (t == 2) return ReferenceType::kBidirectional;
    return ReferenceType::kPositive;
}

SegmentTable BuildReferenceSegments(ReferenceKind kind, ReferenceType type,
                                    std::int32_t final_counts, const ProfileTimes& times,
                                    double period_s) {
    // Whole loop samples in a time.
    const auto n = [period_s](double t_s) -> std::int64_t { return TG_FRound(t_s / period_s); };
    SegmentTable table;
    auto& s = table.segments;
    const double v = final_counts;
    if (type == ReferenceType::kBidirectional) {
        const std::int64_t a0 = n(times.ramp_up_s);
        const std::int64_t q0 = Ramp(v, a0);
        const std::int64_t a2 = n(2.0 * times.ramp_down_s);
        const std::int64_t q2 = Ramp(-(Moved(q0, a0) + v), a2);
        std::int64_t a4 = n(times.ramp_down_s) - 1;
        std::int64_t q4 = 0;
        if (a4 == 0)
            a4 = 1;
        else
            q4 = Q16(v / static_cast<double>(a4));
        // The landing makes the increments sum to exactly 0: the reference ends where
        // it began. In floating point: the products may pass 64 bits before the checks
        // refuse them.
        const double sum = static_cast<double>(q0) * static_cast<double>(a0) +
                           static_cast<double>(q2) * static_cast<double>(a2) +
                           static_cast<double>(q4) * static_cast<double>(a4);
        const std::int64_t q5 = std::abs(sum) < 9e18 ? -static_cast<std::int64_t>(sum)
                                                     : (sum > 0 ? INT64_MIN : INT64_MAX);
        s = {Make(a0, q0), Make(n(times.hold_s), 0),
             Make(a2, q2), Make(n(times.pause_s), 0),
             Make(a4, q4), Make(1, q5)};
    } else {
        const double target = type == ReferenceType::kNegative ? -v : v;
        const auto ramp_samples = [kind](std::int64_t samples) {
            if (kind == ReferenceKind::kPosition) return samples - 1;
            return samples > 1 ? samples - 1 : samples;
        };
        const std::int64_t n0 = n(times.ramp_up_s);
        const std::int64_t a0 = ramp_samples(n0);
        const std::int64_t q0 = Ramp(target, n0);
        const std::int64_t q1 = Q16(target - Moved(q0, a0));
        const std::int64_t n3 = n(times.ramp_down_s);
        const std::int64_t a3 = ramp_samples(n3);
        const std::int64_t q3 = Ramp(-target, n3);
        const std::int64_t q4 = Q16(-target - Moved(q3, a3));
        s = {Make(a0, q0), Make(1, q1), Make(n(times.hold_s), 0),
             Make(a3, q3), Make(1, q4), Make(n(times.pause_s), 0)};
    }
    for (int i = 0; i < 6; ++i) {
        if (s[i].samples > kMaxSegmentValue) {
            table.first_bad = i;
            table.error = kErrSegmentLength;
            break;
        }
        if (std::llabs(static_cast<long long>(TG_FRound(s[i].Increment()))) > kMaxSegmentValue) {
            table.first_bad = i;
            table.error = kErrSlopeOverflow;
            break;
        }
    }
    return table;
}

}  // namespace orvex::tuning
