#include "compute/analogue_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "compute/option_codec.h"
#include "compute/scales.h"
#include "compute/units_transmission.h"
#include "tests/compute/config_fixture.h"

namespace {

using namespace orvex;
using config_test::Internal;
using config_test::Max;
using config_test::Min;
using config_test::SetupBuilder;
using config_test::Value;

constexpr double kCountsPerRad = 4000.0 / 6.283185307179586;  // k_Pm of the test drive
constexpr double kTs = 500e-6;

// The test drive with an analogue input. ADC full scale 65536 unless given, so that
// a span of 2x counts gives the gain x.
SetupBuilder AnalogueDrive(const char* adc_max = "65536") {
    SetupBuilder b = SetupBuilder::Drive();
    b.Setting("ADCMaxValue", adc_max)
        .Variable("CADIN")
        .Option("CADIN", 0)
        .Option("SFTADIN", 0)
        .Option("AD5OFF", 0)
        .Choice("ControlMode", 0)
        .Real("POS_min", 0, "rad")
        .Real("POS_max", 0, "rad")
        .Real("SPD_min", 0, "rad/s")
        .Real("SPD_max", 0, "rad/s")
        .Real("CRT_min", 0, "A")
        .Real("CRT_max", 0, "A")
        .Real("Limit_Speed", 1e6, "rad/s")
        .Real("ImaxPS", 8, "A")
        .Real("ImaxM", 5.6, "A");
    return b;
}

std::unique_ptr<CMC_Setup> WithScales(const SetupBuilder& b) {
    auto s = b.Build();
    InstallScaleProvider(s.get());
    return s;
}

const char* const kBottom[] = {"POS_min", "SPD_min", "CRT_min"};
const char* const kTop[] = {"POS_max", "SPD_max", "CRT_max"};

TEST(AnalogueGain, ShiftKeepsTheMantissaWithin15Bits) {
    struct Case {
        double x, mantissa, shift;
    } cases[] = {
        {0, 0, 0},          {1000, 1000, 0},       {32767, 32767, 0},   {32768, 16384, 1},
        {65534, 32767, 1},  {131068, 32767, 2},    {100000, 25000, 2},  {-1000, -1000, 0},
        {-32767, -32767, 0},
        // A reversing transmission with a large span: the magnitude decides the shift.
        {-65534, -32767, 1},
    };
    for (const auto& c : cases) {
        const AnalogueGain g = SplitAnalogueGain(c.x);
        EXPECT_DOUBLE_EQ(g.mantissa, c.mantissa) << c.x;
        EXPECT_EQ(g.shift, c.shift) << c.x;
        EXPECT_DOUBLE_EQ(g.mantissa * std::pow(2.0, g.shift), c.x) << c.x;
    }
}

TEST(AnalogueGain, OffsetAndGainForEveryControlMode) {
    struct Case {
        int mode;
        double ratio;                  // motor rad per load unit; sign = direction
        double bottom, top;            // internal units of the mode's quantity
        double cadin, sftadin, ad5off;
    } cases[] = {
        {0, 1, -100, 200, 150, 0, -100},
        {1, 1, 0, 65534, 32767, 0, 0},        // x exactly 32767: no shift
        {2, 1, 0, 131068, 32767, 1, 0},       // x = 2 x 32767: shift 1
        {0, -1, 0, 300, -150, 0, 0},          // reversing: negative gain, shift 0
        {1, -2, -1000, 200000, -25125, 2, -1000},
        {2, 3, 500, 100, -200, 0, 500},       // falling reference
    };
    for (const auto& c : cases) {
        auto s = WithScales(AnalogueDrive()
                                .Choice("ControlMode", c.mode)
                                .Real("Motor_transmission", c.ratio));
        s->SetParameterValueInInternalUnit(kBottom[c.mode], c.bottom);
        s->SetParameterValueInInternalUnit(kTop[c.mode], c.top);
        ASSERT_EQ(ComputeOption_CADIN(s.get()), 1);
        ASSERT_EQ(ComputeOption_SFTADIN(s.get()), 1);
        ASSERT_EQ(ComputeOption_AD5OFF(s.get()), 1);
        EXPECT_NEAR(Value(*s, "CADIN"), c.cadin, 1e-9) << c.mode << " " << c.ratio;
        EXPECT_EQ(Value(*s, "SFTADIN"), c.sftadin) << c.mode << " " << c.ratio;
        EXPECT_NEAR(Value(*s, "AD5OFF"), c.ad5off, 1e-9) << c.mode << " " << c.ratio;
    }
}

TEST(AnalogueGain, ControlModeOutsideTheThreeQuantities) {
    auto s = AnalogueDrive().Choice("ControlMode", 3).Build();
    s->SetParameterValueInBaseUnit("AD5OFF", 77);
    s->SetParameterValueInBaseUnit("CADIN", 99);
    EXPECT_EQ(GetAnalogueReferenceScale(s.get()), 0);
    EXPECT_EQ(ComputeOption_AD5OFF(s.get()), 0);
    EXPECT_EQ(Value(*s, "AD5OFF"), 77);
    ASSERT_EQ(ComputeOption_CADIN(s.get()), 1);
    EXPECT_EQ(Value(*s, "CADIN"), 0);
}

TEST(AnalogueSpan, ReadBackRecoversEveryPairFromOneOffsetAndGain) {
    // Default ADC full scale (65520): the gain is not a round number.
    auto s = WithScales(AnalogueDrive("65520").Choice("ControlMode", 1));
    s->SetParameterValueInInternalUnit("SPD_min", -3000);
    s->SetParameterValueInInternalUnit("SPD_max", 9000);
    for (auto* f : {ComputeOption_CADIN, ComputeOption_SFTADIN, ComputeOption_AD5OFF})
        ASSERT_EQ(f(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(*s, "CADIN"), 12000 * 0.5 * 65536 / 65520);
    for (auto* f : {ReadBack_POS_min, ReadBack_POS_max, ReadBack_CRT_min, ReadBack_CRT_max,
                    ReadBack_SPD_min, ReadBack_SPD_max})
        ASSERT_EQ(f(s.get()), 1);
    EXPECT_NEAR(Internal(*s, "SPD_min"), -3000, 1e-9);
    EXPECT_NEAR(Internal(*s, "SPD_max"), 9000, 1e-9);
    // The other pairs get the same offset and gain, within their own limits.
    EXPECT_NEAR(Internal(*s, "POS_min"), -3000, 1e-9);
    EXPECT_NEAR(Internal(*s, "POS_max"), 9000, 1e-9);
    EXPECT_NEAR(Internal(*s, "CRT_min"), -3000, 1e-9);
    EXPECT_NEAR(Internal(*s, "CRT_max"), 9000, 1e-9);
    // A span past the motor's peak current is cut there (5.6 A < 8 A < 32767 counts).
    s->SetParameterValueInBaseUnit("CADIN", 30000);
    ASSERT_EQ(ReadBack_CRT_max(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(*s, "CRT_max"), 5.6);
}

TEST(AnalogueSpan, ReadBackRangesOfTheEndValues) {
    auto s = WithScales(AnalogueDrive().Real("Limit_Speed", 100, "rad/s"));
    s->SetParameterValueInBaseUnit("AD5OFF", -1000);
    s->SetParameterValueInBaseUnit("CADIN", 1000);  // top = bottom + 2000 counts
    for (auto* f : {ReadBack_POS_min, ReadBack_POS_max, ReadBack_SPD_min, ReadBack_SPD_max,
                    ReadBack_CRT_min, ReadBack_CRT_max})
        ASSERT_EQ(f(s.get()), 1);
    const double k_p = kCountsPerRad;
    const double k_s = kTs * kCountsPerRad;
    const double k_i = 65536 / (2 * 8.0);
    EXPECT_DOUBLE_EQ(Min(*s, "POS_min"), -32767 / k_p);
    EXPECT_NEAR(Max(*s, "POS_min"), 1000 / k_p, 1e-12);
    EXPECT_NEAR(Min(*s, "POS_max"), -1000 / k_p, 1e-12);
    EXPECT_DOUBLE_EQ(Max(*s, "POS_max"), 32767 / k_p);
    // Speed ends never pass Limit_Speed (100 rad/s = 31.8 counts < 32767).
    EXPECT_DOUBLE_EQ(Min(*s, "SPD_min"), -100);
    EXPECT_DOUBLE_EQ(Max(*s, "SPD_max"), 100);
    EXPECT_DOUBLE_EQ(Value(*s, "SPD_min"), -100);
    EXPECT_DOUBLE_EQ(Value(*s, "SPD_max"), 100);
    EXPECT_DOUBLE_EQ(Max(*s, "CRT_max"), std::min({32767 / k_i, 8.0, 5.6}));
    EXPECT_NEAR(Value(*s, "CRT_min"), -1000 / k_i, 1e-12);
    EXPECT_NEAR(Value(*s, "CRT_max"), 1000 / k_i, 1e-12);
}

TEST(AnalogueSpan, SpanMovedAboveTheOldTopIsReadBackUncut) {
    // The options say 1000..3000 counts while the parameters still hold 0..500: the
    // bottom end must not be clamped at the old top end.
    auto s = WithScales(AnalogueDrive());
    s->SetParameterValueInInternalUnit("POS_min", 0);
    s->SetParameterValueInInternalUnit("POS_max", 500);
    s->SetParameterValueInBaseUnit("AD5OFF", 1000);
    s->SetParameterValueInBaseUnit("CADIN", 1000);
    ASSERT_EQ(ReadBack_POS_min(s.get()), 1);
    ASSERT_EQ(ReadBack_POS_max(s.get()), 1);
    EXPECT_NEAR(Internal(*s, "POS_min"), 1000, 1e-9);
    EXPECT_NEAR(Internal(*s, "POS_max"), 3000, 1e-9);
}

TEST(DeadBand, LevelsInAdcCountsAndTheirRanges) {
    struct Case {
        double inputs_range, point, width;
        const char* new_dead_band;
        double level, e_level, point_min, point_max, width_max;
    } cases[] = {
        {20, 0, 2, "1", 32760, 6552, -10, 10, 20},
        {20, 0, 2, "0", 32760, 6552, -10, 10, 10},
        {20, -5, 1, "0", 16380, 3276, -10, 10, 5},
        {5, 1, 0.5, "0", 13104, 6552, 0, 5, 1},
        {5, 1, 0.5, "1", 13104, 6552, 0, 5, 5},
        {3.3, 3, 0.1, "0", 65520 * 3 / 3.3, 0.1 * 65520 / 3.3, 0, 3.3, 3.3 - 3},
        {10, 3, 0.1, "1", 65520 * 3 / 10.0, 0.1 * 65520 / 10, 0, 3.3, 3.3},
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Setting("NewDeadBand", c.new_dead_band)
                     .Real("AnalogueInputsRange", c.inputs_range, "V")
                     .Real("DeadBand_Point", c.point, "V", -100, 100)
                     .Real("DeadBand_Range", c.width, "V", -100, 100)
                     .Option("LEVEL_AD5", 0)
                     .Option("E_LEVEL_AD5", 0)
                     .Build();
        ASSERT_EQ(ComputeOption_LEVEL_AD5(s.get()), 1);
        ASSERT_EQ(ComputeOption_E_LEVEL_AD5(s.get()), 1);
        EXPECT_NEAR(Value(*s, "LEVEL_AD5"), c.level, 1e-9) << c.inputs_range;
        EXPECT_NEAR(Value(*s, "E_LEVEL_AD5"), c.e_level, 1e-9) << c.inputs_range;
        s->SetParameterValueInBaseUnit("DeadBand_Point", 0.25);
        s->SetParameterValueInBaseUnit("DeadBand_Range", 0.25);
        ASSERT_EQ(ReadBack_DeadBand_Point(s.get()), 1);
        ASSERT_EQ(ReadBack_DeadBand_Range(s.get()), 1);
        EXPECT_NEAR(Value(*s, "DeadBand_Point"), c.point, 1e-12) << c.inputs_range;
        EXPECT_NEAR(Value(*s, "DeadBand_Range"), c.width, 1e-12) << c.inputs_range;
        EXPECT_EQ(Min(*s, "DeadBand_Point"), c.point_min);
        EXPECT_EQ(Max(*s, "DeadBand_Point"), c.point_max);
        EXPECT_EQ(Min(*s, "DeadBand_Range"), 0);
        EXPECT_NEAR(Max(*s, "DeadBand_Range"), c.width_max, 1e-12) << c.inputs_range;
    }
}

TEST(InputFilter, CoefficientAndReadBack) {
    struct Case {
        double use, filter, coefficient, use_back, filter_back;
    } cases[] = {
        {0, 200, 32767, 0, 50},  // off: no filtering, the field shows 50 1/s
        {1, 200, (1 - std::exp(-200 * kTs)) * 32767, 1, 200},
        {1, 1000, (1 - std::exp(-0.5)) * 32767, 1, 1000},
        {1, 0, 0, 1, 0},
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder::Drive()
                     .Switch("UseFilter", c.use)
                     .Real("filter", c.filter, "1/s")
                     .Option("FILTER1", 0)
                     .Build();
        ASSERT_EQ(ComputeOption_FILTER1(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "FILTER1"), c.coefficient) << c.filter;
        s->SetParameterValueInBaseUnit("filter", 7);
        ASSERT_EQ(ReadBack_UseFilter(s.get()), 1);
        ASSERT_EQ(ReadBack_filter(s.get()), 1);
        EXPECT_EQ(Value(*s, "UseFilter"), c.use_back);
        EXPECT_NEAR(Value(*s, "filter"), c.filter_back, 1e-9) << c.filter;
        EXPECT_DOUBLE_EQ(Max(*s, "filter"), 0.5 / kTs);
    }
}

TEST(ReferenceGenerator, SpeedAndAccelerationLimitsIgnoreTheDirection) {
    for (double ratio : {1.0, -4.0}) {
        auto s = SetupBuilder::Drive()
                     .Real("Motor_transmission", ratio)
                     .Real("ErefMaxSpeed", 100, "rad/s")
                     .Real("ErefMaxAcceleration", 2000, "rad/s^2")
                     .Option("CSPD", 0, 32)
                     .Option("CACC", 0, 32)
                     .Build();
        const double k_s = std::fabs(kTs * kCountsPerRad * ratio);
        const double k_a = std::fabs(1000 * 2 * kTs * kTs / 3.141592653589793 * ratio);
        ASSERT_EQ(ComputeOption_CSPD(s.get()), 1);
        ASSERT_EQ(ComputeOption_CACC(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "CSPD"), 100 * k_s);
        EXPECT_DOUBLE_EQ(Value(*s, "CACC"), 2000 * k_a);
        s->SetParameterValueInBaseUnit("ErefMaxSpeed", 0);
        s->SetParameterValueInBaseUnit("ErefMaxAcceleration", 0);
        ASSERT_EQ(ReadBack_ErefMaxSpeed(s.get()), 1);
        ASSERT_EQ(ReadBack_ErefMaxAcceleration(s.get()), 1);
        EXPECT_NEAR(Value(*s, "ErefMaxSpeed"), 100, 1e-12);
        EXPECT_NEAR(Value(*s, "ErefMaxAcceleration"), 2000, 1e-9);
        EXPECT_DOUBLE_EQ(Max(*s, "ErefMaxSpeed"), 32767 / k_s);
        EXPECT_DOUBLE_EQ(Max(*s, "ErefMaxAcceleration"), 32767 / k_a);
    }
}

TEST(AnalogueGate, NeedsTheDriveVariableAndTheParameter) {
    EXPECT_TRUE(HasAnalogueReference(AnalogueDrive().Build().get()));
    EXPECT_FALSE(HasAnalogueReference(SetupBuilder().Option("CADIN", 0).Build().get()));
    EXPECT_FALSE(HasAnalogueReference(SetupBuilder().Variable("CADIN").Build().get()));
}

TEST(AnalogueRanges, DependentUpdateSetsLimitsAndKeepsValues) {
    SetupBuilder b = AnalogueDrive()
                         .Real("filter", 300, "1/s", 0, 1e6)
                         .Real("AnalogueInputsRange", 5, "V")
                         .Real("DeadBand_Point", 4, "V", -100, 100)
                         .Real("DeadBand_Range", 0.5, "V", -100, 100)
                         .Real("Limit_Speed", 50, "rad/s");
    // Without the analogue input nothing changes.
    auto none = SetupBuilder(b).Without("CADIN").Build();
    EXPECT_EQ(UpdateAnalogueReferenceRanges(none.get()), 0);
    EXPECT_EQ(Max(*none, "filter"), 1e6);

    auto s = WithScales(b);
    s->SetParameterValueInBaseUnit("POS_min", -2);
    s->SetParameterValueInBaseUnit("POS_max", 3);
    s->SetParameterValueInBaseUnit("SPD_min", -10);
    s->SetParameterValueInBaseUnit("SPD_max", 20);
    s->SetParameterValueInBaseUnit("CRT_min", -1);
    s->SetParameterValueInBaseUnit("CRT_max", 2);
    ASSERT_EQ(UpdateAnalogueReferenceRanges(s.get()), 1);
    const double k_p = kCountsPerRad;
    const double k_i = 65536 / 16.0;
    struct Expect {
        const char* name;
        double value, min, max;
    } expected[] = {
        {"filter", 300, 0, 1 / (2 * kTs)},
        {"DeadBand_Point", 4, 0, 5},
        {"DeadBand_Range", 0.5, 0, 1},  // old-style dead band: 5 V - 4 V
        {"POS_min", -2, -32767 / k_p, 3},
        {"POS_max", 3, -2, 32767 / k_p},
        {"SPD_min", -10, -50, 20},
        {"SPD_max", 20, -10, 50},
        {"CRT_min", -1, std::max(-5.6, -32767 / k_i), 2},
        {"CRT_max", 2, -1, std::min({32767 / k_i, 8.0, 5.6})},
    };
    for (const auto& e : expected) {
        EXPECT_DOUBLE_EQ(Value(*s, e.name), e.value) << e.name;
        EXPECT_DOUBLE_EQ(Min(*s, e.name), e.min) << e.name;
        EXPECT_DOUBLE_EQ(Max(*s, e.name), e.max) << e.name;
    }
}

TEST(AnalogueRoundTrip, ForwardThenReadBackReturnsTheEndValues) {
    std::mt19937 rng(20261206);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 300; ++i) {
        const int mode = i % 3;
        double ratio = std::pow(10.0, unit(rng)) * (unit(rng) < 0 ? -1 : 1);
        auto s = WithScales(AnalogueDrive(i % 2 ? "65520" : "4095")
                                .Choice("ControlMode", mode)
                                .Real("Motor_transmission", ratio));
        // Ends within the 16-bit words, in either order of magnitude.
        const double a = 32767 * unit(rng), b = 32767 * unit(rng);
        const double bottom = std::min(a, b), top = std::max(a, b);
        s->SetParameterValueInInternalUnit(kBottom[mode], bottom);
        s->SetParameterValueInInternalUnit(kTop[mode], top);
        for (auto* f : {ComputeOption_CADIN, ComputeOption_SFTADIN, ComputeOption_AD5OFF})
            ASSERT_EQ(f(s.get()), 1);
        EXPECT_LE(std::fabs(Value(*s, "CADIN")), 32767.0);
        for (auto* f : {ReadBack_POS_min, ReadBack_POS_max, ReadBack_CRT_min, ReadBack_CRT_max,
                        ReadBack_SPD_min, ReadBack_SPD_max})
            ASSERT_EQ(f(s.get()), 1);
        const double counts_per_A = (i % 2 ? 65520 : 4095) / 16.0;
        if (mode == 2 && top > 5.6 * counts_per_A) continue;  // beyond the motor's peak
        EXPECT_NEAR(Internal(*s, kBottom[mode]), bottom, 1e-7) << i;
        EXPECT_NEAR(Internal(*s, kTop[mode]), top, 1e-7) << i;
    }
}

}  // namespace

namespace {

TEST(AnalogueDegenerateScales, LeaveTargetsAsTheyWere) {
    struct Case {
        const char* zeroed;  // parameter set to 0, or the ADC full scale when null
        int (*convert)(CMC_Setup*);
        const char* target;
    } cases[] = {
        {"Load_transmission", ComputeOption_CADIN, "CADIN"},
        {"Load_transmission", ReadBack_POS_min, "POS_min"},
        {"Load_transmission", ReadBack_POS_max, "POS_max"},
        {"Load_transmission", ReadBack_SPD_max, "SPD_max"},
        {"Load_transmission", ReadBack_ErefMaxSpeed, "ErefMaxSpeed"},
        {"Load_transmission", ReadBack_ErefMaxAcceleration, "ErefMaxAcceleration"},
        {"Load_transmission", ComputeOption_CSPD, "CSPD"},
        {"DSP_freq", ReadBack_filter, "filter"},
        {"DSP_freq", ComputeOption_CACC, "CACC"},
        {"ImaxPS", ReadBack_CRT_max, "CRT_max"},
        {"AnalogueInputsRange", ComputeOption_LEVEL_AD5, "LEVEL_AD5"},
        {"AnalogueInputsRange", ComputeOption_E_LEVEL_AD5, "E_LEVEL_AD5"},
        {nullptr, ComputeOption_CADIN, "CADIN"},
        {nullptr, ReadBack_DeadBand_Point, "DeadBand_Point"},
    };
    for (const auto& c : cases) {
        auto s = WithScales(AnalogueDrive(c.zeroed ? "65520" : "0")
                                .Real("POS_min", -1, "rad", -5, 5)
                                .Real("POS_max", 2, "rad", -5, 5)
                                .Real("SPD_max", 2, "rad/s", -5, 5)
                                .Real("CRT_max", 2, "A", -5, 5)
                                .Real("filter", 100, "1/s", 0, 500)
                                .Real("ErefMaxSpeed", 10, "rad/s", 0, 50)
                                .Real("ErefMaxAcceleration", 10, "rad/s^2", 0, 50)
                                .Real("AnalogueInputsRange", 20, "V")
                                .Real("DeadBand_Point", 1, "V", -10, 10)
                                .Real("DeadBand_Range", 1, "V", 0, 10)
                                .Option("CADIN", 1234)
                                .Option("AD5OFF", 10)
                                .Option("FILTER1", 3000)
                                .Option("LEVEL_AD5", 1000)
                                .Option("E_LEVEL_AD5", 1000)
                                .Option("CSPD", 1000, 32)
                                .Option("CACC", 1000, 32));
        if (c.zeroed) {
            s->FindParameter(c.zeroed)->SetMinInBaseUnit(0);
            s->SetParameterValueInBaseUnit(c.zeroed, 0);
        }
        const double value = Value(*s, c.target), min = Min(*s, c.target), max = Max(*s, c.target);
        c.convert(s.get());
        const char* why = c.zeroed ? c.zeroed : "ADC full scale";
        EXPECT_EQ(Value(*s, c.target), value) << c.target << " with " << why << " 0";
        EXPECT_EQ(Min(*s, c.target), min) << c.target << " with " << why << " 0";
        EXPECT_EQ(Max(*s, c.target), max) << c.target << " with " << why << " 0";
    }
}

}  // namespace
