// What the encoder and analogue reference tests make of raw drive readings.

#include "compute/drive_test_readings.h"

#include <gtest/gtest.h>

#include <cmath>

using orvex::ReadingRange;
using orvex::ResolutionVerdict;

TEST(ResolutionVerdict, DirectionAndMovementDecideInTheirOrder) {
    constexpr int kFirst = 100;  // the table's smallest encoder
    struct Case {
        double counts;
        int best_lines;
        bool movement_seen;
        ResolutionVerdict expected;
    };
    const Case cases[] = {
        {4000, 1000, true, ResolutionVerdict::kFound},
        {0, kFirst, false, ResolutionVerdict::kNoMovement},
        {0, 1000, true, ResolutionVerdict::kNoMovement},  // no counts, whatever was seen
        {-4000, 1000, true, ResolutionVerdict::kReversed},
        {-40, kFirst, true, ResolutionVerdict::kNoMovement},  // backwards naming no encoder
        {4000, 1000, false, ResolutionVerdict::kReversed},    // never seen turning
        {3999, 1000, true, ResolutionVerdict::kFound},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orvex::JudgeResolutionRun(c.counts, c.best_lines, kFirst, c.movement_seen),
                  c.expected)
            << c.counts << " counts, best " << c.best_lines;
}

TEST(ResolutionVerdict, LinesAreCountsOverFourTowardZero) {
    const std::pair<double, int> cases[] = {{4000, 1000},    {3999, 999}, {-4000, -1000},
                                            {-3999.7, -999}, {3.9, 0},    {NAN, 0}};
    for (const auto& [counts, lines] : cases)
        EXPECT_EQ(orvex::LinesFromRevolutionCounts(counts), lines) << counts;
}

TEST(EncoderAngle, FourCountsPerLineMakeOneTurn) {
    EXPECT_DOUBLE_EQ(orvex::EncoderAngleFromCounts(4000, 1000), 2 * M_PI);
    EXPECT_DOUBLE_EQ(orvex::EncoderAngleFromCounts(-1000, 1000), -M_PI / 2);
    EXPECT_DOUBLE_EQ(orvex::EncoderAngleFromCounts(2048, 512), 2 * M_PI);
    EXPECT_EQ(orvex::EncoderAngleFromCounts(100, 0), 0.0);  // no lines known: no angle
}

TEST(AnalogueReading, InputRangeSettingChoosesTheSpan) {
    const std::tuple<double, double, double> cases[] = {
        {20, -10, 10}, {5, 0, 5}, {10, 0, 3.3}, {3.3, 0, 3.3}, {19.99, 0, 3.3}};
    for (const auto& [setting, lo, hi] : cases) {
        const ReadingRange r = orvex::AnalogueInputVoltageRange(setting);
        EXPECT_EQ(r.min, lo) << setting;
        EXPECT_EQ(r.max, hi) << setting;
    }
}

TEST(AnalogueReading, CountsMapOntoTheRangeInHundredths) {
    const ReadingRange bipolar{-10, 10};
    const ReadingRange command{-5, 5};
    struct Case {
        double counts;
        ReadingRange range;
        double expected;
    };
    const Case cases[] = {
        {65472 / 2, bipolar, 0.0},  // mid-scale of +-10 V is 0 V
        {65472, bipolar, 10.0},     // full scale is 65472, not 65535
        {0, bipolar, -10.0},       {65472, {0, 3.3}, 3.3},
        {16368, command, -2.5},    {1000, {0, 5}, 0.08},  // 0.0763... rounds to hundredths
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(orvex::AnalogueReading(c.counts, c.range), c.expected) << c.counts;
}

TEST(BarDrawing, BarsStartAtZeroOrInsideTheirScale) {
    EXPECT_EQ(orvex::BarDrawingReference({-100, 100}), 0.0);
    EXPECT_EQ(orvex::BarDrawingReference({10, 100}), 10.0);
    EXPECT_EQ(orvex::BarDrawingReference({-100, -10}), -100.0);
    EXPECT_EQ(orvex::BarDrawingReference({0, 3.3}), 0.0);
}
