// The drive's signal processing (identification programs, speed observer), against
// signals whose answer is known exactly.

#include "simdrive/estimators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace orvex::sim {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

TEST(SlidingDemodulator, GivesTheFundamentalsPhasorDespiteOffsetAndHarmonics) {
    struct Case {
        std::size_t period;
        double amplitude, lag_rad, offset, third_harmonic;
    } cases[] = {
        {3, 1.0, 0.3, 0.0, 0.0},           // the shortest period
        {17, 2500.0, 1.1, 40.0, 0.0},      // a constant part cancels over a period
        {255, 800.0, 0.7, 0.0, 120.0},     // so does a harmonic
        {771, 10.0, -0.2, 3.0, 2.0},       // a current ahead of the voltage
        {21845, 5000.0, 1.5, -7.0, 300.0}  // the longest
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.period);
        SlidingDemodulator d(c.period);
        for (std::size_t k = 0; k < 3 * c.period + 5; ++k) {
            const double angle = kTwoPi * static_cast<double>(k) / c.period;
            d.Add(c.offset + c.amplitude * std::cos(angle - c.lag_rad) +
                      c.third_harmonic * std::cos(3 * angle + 0.4),
                  angle);
            EXPECT_EQ(d.full(), k + 1 >= c.period);
        }
        EXPECT_NEAR(d.in_phase(), c.amplitude * std::cos(c.lag_rad), 1e-9 * c.amplitude);
        EXPECT_NEAR(d.quadrature(), c.amplitude * std::sin(c.lag_rad), 1e-9 * c.amplitude);
    }
}

TEST(StepResponseTimer, FindsTheTimeConstantOfASampledStep) {
    for (double tau_s : {0.15e-3, 0.27e-3, 2e-3, 12e-3}) {
        StepResponseTimer timer(0.0, 1000.0);
        constexpr double kSample_s = 50e-6;
        bool done = false;
        for (int k = 0; k < 100000 && !done; ++k)
            done = timer.Add(1000.0 * (1 - std::exp(-k * kSample_s / tau_s)), k * kSample_s);
        ASSERT_TRUE(done);
        // Straight-line interpolation between samples: within a few per cent.
        EXPECT_NEAR(timer.time_constant_s(), tau_s, 0.03 * tau_s) << tau_s;
    }
    // A response that falls towards its final value is timed the same way.
    StepResponseTimer falling(500.0, 100.0);
    bool done = false;
    for (int k = 0; k < 1000 && !done; ++k)
        done = falling.Add(100.0 + 400.0 * std::exp(-k / 20.0), k);
    EXPECT_NEAR(falling.time_constant_s(), 20.0, 0.5);
}

TEST(ParabolaFit, AccelerationThroughQuantisedPositionsAndGaps) {
    struct Case {
        double acceleration, speed;
        int samples;
        bool quantised, with_gaps;
        double tolerance;  // relative
    } cases[] = {
        {0.02, 0.5, 100, false, false, 1e-9},  // exact data: exact answer
        {0.02, 0.5, 100, false, true, 1e-9},   // gaps keep the time base
        {-0.004, 3.0, 400, false, false, 1e-9},
        {0.0165, 1.0, 170, true, false, 0.01},  // encoder counts (floor)
        {0.0035, 0.2, 160, true, true, 0.02},
    };
    for (const Case& c : cases) {
        ParabolaFit fit;
        for (int k = 0; k < c.samples; ++k) {
            if (c.with_gaps && k % 7 == 3) continue;  // samples left out
            double x = 12345.0 + c.speed * k + 0.5 * c.acceleration * k * k;
            if (c.quantised) x = std::floor(x);
            fit.Add(1000.0 + k, x);  // any origin of the sample count
        }
        EXPECT_NEAR(fit.Acceleration(), c.acceleration, c.tolerance * std::fabs(c.acceleration))
            << c.acceleration;
    }
    ParabolaFit two;
    two.Add(0, 1);
    two.Add(1, 4);
    EXPECT_EQ(two.Acceleration(), 0.0);
    ParabolaFit same_instant;
    for (int k = 0; k < 5; ++k) same_instant.Add(3, k);
    EXPECT_EQ(same_instant.Acceleration(), 0.0);
}

TEST(SpeedObserver, FollowsConstantAccelerationWithoutLagOrBiasDespiteTheCounts) {
    struct Case {
        double origin, speed, acceleration;  // counts, per sample, per sample squared
        bool quantised;
        double tolerance;  // counts per sample, once settled
    } cases[] = {
        {0, 3, 2, false, 1e-9},  // whole counts: exact
        {-50, -7, -4, false, 1e-9},
        {1e12, 5, 0, false, 1e-9},     // far from the origin
        {0.4, 2.3, 0.013, true, 1.0},  // encoder counts (floor): within a count
        {1e9 + 0.7, -40.7, 0.05, true, 1.0},
        {0.1, 0.382, 0, true, 1.0},  // under a count per sample
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        SpeedObserver observer;
        auto truth = [&c](double k) { return c.speed + c.acceleration * k; };
        double bias = 0, worst = 0;
        constexpr int kSettle = 60, kSamples = 3000;
        for (int k = 0; k < kSamples; ++k) {
            const double x = c.origin + c.speed * k + 0.5 * c.acceleration * k * k;
            observer.Update(static_cast<std::int64_t>(std::floor(x)));
            if (k < kSettle) continue;
            // What the loop uses: the speed in the middle of the coming sample.
            const double error = observer.HalfSampleAhead() - truth(k + 0.5);
            bias += error / (kSamples - kSettle);
            worst = std::max(worst, std::fabs(error));
            EXPECT_NEAR(observer.speed(), truth(k), c.tolerance + 1e-9);
        }
        EXPECT_LE(worst, c.tolerance);
        EXPECT_NEAR(bias, 0, c.quantised ? 0.02 : 1e-9);
    }
}

}  // namespace
}  // namespace orvex::sim
