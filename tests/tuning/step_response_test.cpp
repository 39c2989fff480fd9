// Step-response figures against responses whose figures are known in closed form.
#include "tuning/step_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

using orvex::tuning::MeasureStepResponse;

struct Record {
    std::vector<double> t, r, y;
};

// A step of `height` at t = 0.01 s held to the end, followed by a second-order
// response of natural frequency `wn` and damping `zeta` (sampled every 0.1 ms).
Record SecondOrderStep(double height, double wn, double zeta, double end_s = 0.5) {
    Record rec;
    const double dt = 1e-4;
    for (double t = 0; t < end_s; t += dt) {
        rec.t.push_back(t);
        const double s = t - 0.01;
        rec.r.push_back(s > 0 ? height : 0.0);
        double y = 0;
        if (s > 0) {
            const double wd = wn * std::sqrt(1 - zeta * zeta);
            const double phi = std::acos(zeta);
            y = height * (1 - std::exp(-zeta * wn * s) / std::sqrt(1 - zeta * zeta) *
                                  std::sin(wd * s + phi));
        }
        rec.y.push_back(y);
    }
    return rec;
}

TEST(StepResponse, SecondOrderFiguresMatchTheirFormulas) {
    // Normalised 10-90 % rise times wn * tr of the closed form, found by stepping it
    // in 1e-5 until it crosses each level.
    struct Case {
        double height, wn, zeta, wn_rise;
    };
    for (const Case c :
         {Case{100, 200, 0.5, 1.6376}, Case{-40, 300, 0.7, 2.1262}, Case{5, 150, 0.3, 1.3213}}) {
        const auto rec = SecondOrderStep(c.height, c.wn, c.zeta);
        const auto m = MeasureStepResponse(rec.t, rec.r, rec.y);
        ASSERT_TRUE(m.figures) << m.error;
        const double overshoot =
            100 * std::exp(-std::numbers::pi * c.zeta / std::sqrt(1 - c.zeta * c.zeta));
        EXPECT_NEAR(m.figures->overshoot_percent, overshoot, 0.05) << c.zeta;
        const double rise = c.wn_rise / c.wn;
        ASSERT_TRUE(m.figures->rise_time_s);
        EXPECT_NEAR(*m.figures->rise_time_s, rise, 0.005 * rise) << c.zeta;
        ASSERT_TRUE(m.figures->settling_time_s);
        EXPECT_NEAR(*m.figures->settling_time_s, 4.0 / (c.zeta * c.wn),
                    0.35 * 4.0 / (c.zeta * c.wn));
        EXPECT_NEAR(m.figures->steady_state_error, 0, 1e-3 * std::abs(c.height));
    }
}

TEST(StepResponse, ALaggingResponseHasAnErrorAndNeverSettles) {
    Record rec;
    for (int i = 0; i < 100; ++i) {
        rec.t.push_back(i * 1e-3);
        rec.r.push_back(i > 10 ? 10.0 : 0.0);
        rec.y.push_back(i > 10 ? 5.0 : 0.0);  // half way, for good
    }
    const auto m = MeasureStepResponse(rec.t, rec.r, rec.y);
    ASSERT_TRUE(m.figures) << m.error;
    EXPECT_FALSE(m.figures->rise_time_s);
    EXPECT_FALSE(m.figures->settling_time_s);
    EXPECT_DOUBLE_EQ(m.figures->steady_state_error, 5.0);
    EXPECT_DOUBLE_EQ(m.figures->overshoot_percent, 0.0);
}

TEST(StepResponse, ResponseThatDithersByACountSettlesAtTheSignalsResolution) {
    // A speed step to 30 counts per sample, read as 29 and 31 in turn once there: no
    // reading lies within 2 % (0.6 count), yet the loop has settled.
    Record rec;
    for (int i = 0; i < 200; ++i) {
        rec.t.push_back(i * 5e-4);
        rec.r.push_back(i > 10 ? 30.0 : 0.0);
        rec.y.push_back(i <= 10 ? 0.0 : i < 20 ? 3.0 * (i - 10) : i % 2 ? 31.0 : 29.0);
    }
    EXPECT_FALSE(MeasureStepResponse(rec.t, rec.r, rec.y).figures->settling_time_s);
    const auto counts = MeasureStepResponse(rec.t, rec.r, rec.y, {.resolution = 1.0});
    ASSERT_TRUE(counts.figures->settling_time_s);
    // From the last sample before the step (i = 10) to i = 20, the first at 30 +- 1.
    EXPECT_NEAR(*counts.figures->settling_time_s, 10 * 5e-4, 1e-12);
}

TEST(StepResponse, RefusesRecordsItCannotMeasure) {
    const std::vector<double> t = {0, 1, 2}, flat = {1, 1, 1}, step = {0, 1, 1};
    EXPECT_FALSE(MeasureStepResponse(t, flat, flat).figures);  // no step
    EXPECT_FALSE(MeasureStepResponse({0, 1}, {0, 1}, {0, 1}).figures);
    EXPECT_FALSE(MeasureStepResponse(t, step, {0, 1}).figures);
    const auto backwards = MeasureStepResponse({0, 2, 1}, step, step);
    EXPECT_FALSE(backwards.figures);
    EXPECT_NE(backwards.error.find("sample 2"), std::string::npos);
}

}  // namespace
