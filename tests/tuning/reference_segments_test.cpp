// The six-segment reference table of the tuning programs: counts and increments for
// the three reference types at their edge counts, and the two ways a table fails.
#include "tuning/reference_segments.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace {

using orvex::tuning::BuildReferenceSegments;
using orvex::tuning::kErrSegmentLength;
using orvex::tuning::kErrSlopeOverflow;
using orvex::tuning::ProfileTimes;
using orvex::tuning::ReferenceKind;
using orvex::tuning::ReferenceType;

constexpr double kT = 0.001;  // one loop sample

// Times in whole samples.
ProfileTimes Samples(double up, double hold, double down, double pause) {
    return {up * kT, hold * kT, down * kT, pause * kT};
}

std::vector<std::uint32_t> Counts(const orvex::tuning::SegmentTable& t) {
    std::vector<std::uint32_t> a;
    for (const auto& s : t.segments) a.push_back(s.samples);
    return a;
}

std::vector<std::int64_t> Increments(const orvex::tuning::SegmentTable& t) {
    std::vector<std::int64_t> q;
    for (const auto& s : t.segments) q.push_back(s.increment_q16);
    return q;
}

// Where the reference is after the segments up to and including `last`, in counts.
double ReferenceAfter(const orvex::tuning::SegmentTable& t, int last) {
    double r = 0;
    for (int i = 0; i <= last; ++i) r += t.segments[i].samples * t.segments[i].Increment();
    return r;
}

TEST(ReferenceSegments, TablesAtTheEdgeCounts) {
    struct Case {
        const char* what;
        ReferenceKind kind;
        ReferenceType type;
        std::int32_t v;
        ProfileTimes times;
        std::vector<std::uint32_t> a;
        std::vector<std::int64_t> q;
    };
    const std::vector<Case> cases = {
        {"speed, ramp of one sample: nothing left to land",
         ReferenceKind::kSpeed,
         ReferenceType::kPositive,
         10,
         Samples(1, 5, 1, 7),
         {1, 1, 5, 1, 1, 7},
         {10 * 65536, 0, 0, -10 * 65536, 0, 0}},
        {"speed, ramp of two samples: one ramp, one landing",
         ReferenceKind::kSpeed,
         ReferenceType::kPositive,
         10,
         Samples(2, 5, 2, 7),
         {1, 1, 5, 1, 1, 7},
         {5 * 65536, 5 * 65536, 0, -5 * 65536, -5 * 65536, 0}},
        {"speed, ramp of three samples rounds, the landing corrects",
         ReferenceKind::kSpeed,
         ReferenceType::kPositive,
         10,
         Samples(3, 0, 3, 0),
         {2, 1, 0, 2, 1, 0},
         {218453, 218454, 0, -218453, -218454, 0}},
        {"speed, negative type mirrors",
         ReferenceKind::kSpeed,
         ReferenceType::kNegative,
         10,
         Samples(2, 5, 2, 7),
         {1, 1, 5, 1, 1, 7},
         {-5 * 65536, -5 * 65536, 0, 5 * 65536, 5 * 65536, 0}},
        {"speed, ramp of no sample: the landing makes the step",
         ReferenceKind::kSpeed,
         ReferenceType::kPositive,
         10,
         Samples(0, 5, 0, 7),
         {0, 1, 5, 0, 1, 7},
         {0, 10 * 65536, 0, 0, -10 * 65536, 0}},
        {"position, ramp of one sample: the landing moves all",
         ReferenceKind::kPosition,
         ReferenceType::kPositive,
         400,
         Samples(1, 5, 1, 7),
         {0, 1, 5, 0, 1, 7},
         {400 * 65536, 400 * 65536, 0, -400 * 65536, -400 * 65536, 0}},
        {"position, ramp of four samples",
         ReferenceKind::kPosition,
         ReferenceType::kPositive,
         400,
         Samples(4, 5, 4, 7),
         {3, 1, 5, 3, 1, 7},
         {100 * 65536, 100 * 65536, 0, -100 * 65536, -100 * 65536, 0}},
        {"bidirectional",
         ReferenceKind::kSpeed,
         ReferenceType::kBidirectional,
         8,
         Samples(4, 5, 2, 7),
         {4, 5, 4, 7, 1, 1},
         {2 * 65536, 0, -4 * 65536, 0, 8 * 65536, 0}},
        {"bidirectional, ramp back of one sample gets one sample and no move",
         ReferenceKind::kPosition,
         ReferenceType::kBidirectional,
         8,
         Samples(4, 5, 1, 7),
         {4, 5, 2, 7, 1, 1},
         {2 * 65536, 0, -8 * 65536, 0, 0, 8 * 65536}},
    };
    for (const auto& c : cases) {
        const auto t = BuildReferenceSegments(c.kind, c.type, c.v, c.times, kT);
        EXPECT_TRUE(t.ok()) << c.what << ": " << t.error;
        EXPECT_EQ(Counts(t), c.a) << c.what;
        EXPECT_EQ(Increments(t), c.q) << c.what;
    }
}

TEST(ReferenceSegments, EveryProfileReachesTheFinalValueAndComesBackExactly) {
    for (auto kind : {ReferenceKind::kSpeed, ReferenceKind::kPosition}) {
        for (std::int32_t v : {1, -1, 7, 333, -1000, 32767}) {
            for (double up : {2.0, 3.0, 7.0, 50.0}) {
                const auto times = Samples(up, 10, up + 1, 10);
                const auto pos =
                    BuildReferenceSegments(kind, ReferenceType::kPositive, v, times, kT);
                ASSERT_TRUE(pos.ok()) << pos.error;
                EXPECT_DOUBLE_EQ(ReferenceAfter(pos, 1), v) << v << " " << up;
                EXPECT_DOUBLE_EQ(ReferenceAfter(pos, 5), 0.0) << v << " " << up;
                const auto bi =
                    BuildReferenceSegments(kind, ReferenceType::kBidirectional, v, times, kT);
                ASSERT_TRUE(bi.ok()) << bi.error;
                const auto q = Increments(bi);
                std::int64_t sum = 0;
                for (int i = 0; i < 6; ++i) sum += q[i] * bi.segments[i].samples;
                EXPECT_EQ(sum, 0) << v << " " << up;
            }
        }
    }
}

TEST(ReferenceSegments, FailuresNameTheFirstBadSegment) {
    struct Case {
        const char* what;
        ReferenceKind kind;
        ReferenceType type;
        std::int32_t v;
        ProfileTimes times;
        int first_bad;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"pause longer than 32767 samples", ReferenceKind::kSpeed, ReferenceType::kPositive, 10,
         Samples(2, 5, 2, 32768), 5, kErrSegmentLength},
        {"pause of exactly 32767 samples passes", ReferenceKind::kSpeed, ReferenceType::kPositive,
         10, Samples(2, 5, 2, 32767), 6, ""},
        {"hold too long", ReferenceKind::kPosition, ReferenceType::kNegative, 10,
         Samples(2, 40000, 2, 5), 2, kErrSegmentLength},
        {"position ramp of no sample: a count of -1", ReferenceKind::kPosition,
         ReferenceType::kPositive, 10, Samples(0, 5, 2, 5), 0, kErrSegmentLength},
        {"speed step of 32768 counts in one sample", ReferenceKind::kSpeed,
         ReferenceType::kPositive, 32768, Samples(1, 5, 100, 5), 0, kErrSlopeOverflow},
        {"speed step of 32767 counts in one sample passes", ReferenceKind::kSpeed,
         ReferenceType::kPositive, 32767, Samples(1, 5, 1, 5), 6, ""},
        {"bidirectional reversal too steep", ReferenceKind::kSpeed, ReferenceType::kBidirectional,
         30000, Samples(40, 5, 0.5, 5), 2, kErrSlopeOverflow},
    };
    for (const auto& c : cases) {
        const auto t = BuildReferenceSegments(c.kind, c.type, c.v, c.times, kT);
        EXPECT_EQ(t.first_bad, c.first_bad) << c.what;
        EXPECT_EQ(t.error, c.error) << c.what;
    }
}

TEST(ReferenceSegments, ReferenceTypeValues) {
    using orvex::tuning::ReferenceTypeFromValue;
    EXPECT_EQ(ReferenceTypeFromValue(1), ReferenceType::kNegative);
    EXPECT_EQ(ReferenceTypeFromValue(2), ReferenceType::kBidirectional);
    for (double other : {0.0, 3.0, -1.0, 0.9})
        EXPECT_EQ(ReferenceTypeFromValue(other), ReferenceType::kPositive);
}

}  // namespace
