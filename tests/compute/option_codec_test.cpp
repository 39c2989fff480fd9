#include "compute/option_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "compute/scales.h"
#include "tests/compute/setup_builder.h"

namespace {

TEST(GainCodec, EncodesAcrossTheShiftRange) {
    struct Case {
        double gain, shift, mantissa;
    } cases[] = {
        {1.0, 0, 32767},
        {3.0, 2, 3 * 32767.0 / 4},
        {16384.0, 14, 32767},
        {0.5, 0, 32767.0 / 2},
        {-0.25, 0, -32767.0 / 4},
        {2.0, 1, 32767},
        {1.0000001, 1, 1.0000001 * 32767 / 2},
        {0.0, 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(orvex::EncodeGainShift(c.gain), c.shift) << c.gain;
        EXPECT_DOUBLE_EQ(orvex::EncodeGainMantissa(c.gain), c.mantissa) << c.gain;
        EXPECT_LE(orvex::EncodeGainMantissa(c.gain), 32767.0) << c.gain;
        EXPECT_DOUBLE_EQ(orvex::DecodeGain(c.mantissa, c.shift), c.gain) << c.gain;
    }
    EXPECT_DOUBLE_EQ(orvex::DecodeGain(32767, 3), 8.0);
}

TEST(GainCodec, MantissaNeverExceedsOneOverManyGains) {
    for (double k = 1.01; k < 16384; k *= 1.37) {
        const double m = orvex::EncodeGainMantissa(k);
        EXPECT_LE(m, 32767.0) << k;
        EXPECT_GT(m, 32767.0 / 2 - 1e-9) << k;  // above 1 the mantissa uses the full word
        EXPECT_NEAR(orvex::DecodeGain(m, orvex::EncodeGainShift(k)), k, k * 1e-12);
    }
}

std::unique_ptr<CMC_Setup> Timing(double dsp, double pwm_per, double clper, double slper) {
    return compute_test::SetupBuilder()
        .Add({compute_test::Real("DSP_freq", dsp, "Hz", 0, 1e9),
              compute_test::Real("PWM_freq", 20000, "Hz", 0, 1e6),
              compute_test::Option16("PWMPER", pwm_per), compute_test::Option16("CLPER", clper),
              compute_test::Option16("SLPER", slper),
              compute_test::Option32("MECRESL", 4001, 0, 1e9)})
        .Build();
}

TEST(TimingBase, PwmAndLoopPeriodsFromTheClock) {
    auto s = Timing(40e6, 0, 1, 10);
    ASSERT_EQ(orvex::ComputeOption_PWMPER(s.get()), 1);
    EXPECT_DOUBLE_EQ(s->GetParameterValueInBaseUnit("PWMPER"), 1000);
    EXPECT_DOUBLE_EQ(orvex::GetCurrentLoopPeriod(s.get()), 50e-6);
    EXPECT_DOUBLE_EQ(orvex::GetSpeedLoopPeriod(s.get()), 500e-6);
    // The resolution is cut to a multiple of 4 before it scales positions.
    EXPECT_DOUBLE_EQ(orvex::GetMotorPositionScale(s.get()), 4000 / (2 * std::numbers::pi));
}

TEST(SetParameterRange, KeepsMinimumBelowMaximumAtEveryStep) {
    auto s = Timing(40e6, 1000, 1, 10);
    CMC_Parameter* p = s->FindParameter("DSP_freq");
    p->SetMinInBaseUnit(0);
    p->SetMaxInBaseUnit(100);
    ASSERT_EQ(orvex::SetParameterRange(p, 200, 300), 1);  // narrowing upwards: maximum first
    EXPECT_EQ(p->GetMinInBaseUnit(), 200);
    EXPECT_EQ(p->GetMaxInBaseUnit(), 300);
    ASSERT_EQ(orvex::SetParameterRange(p, 0, 100), 1);  // downwards: minimum first
    EXPECT_EQ(p->GetMinInBaseUnit(), 0);
    EXPECT_EQ(p->GetMaxInBaseUnit(), 100);
    EXPECT_EQ(orvex::SetParameterRange(p, 5, 4), 0);  // refused, unchanged
    EXPECT_EQ(p->GetMinInBaseUnit(), 0);
    EXPECT_EQ(p->GetMaxInBaseUnit(), 100);
    p->SetMinInBaseUnit(500);  // an inverted old range is mended first
    ASSERT_EQ(orvex::SetParameterRange(p, 10, 20), 1);
    EXPECT_EQ(p->GetMinInBaseUnit(), 10);
    EXPECT_EQ(p->GetMaxInBaseUnit(), 20);
}

}  // namespace
