#include "compute/analogue_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "compute/units_transmission.h"
#include "tests/compute/setup_builder.h"

namespace {

using namespace orvex;
using namespace compute_test;

constexpr double kCountsPerRad = 4000.0 / (2 * std::numbers::pi);  // k_P of the 1:1 test drive
constexpr double kTs = 500e-6;
const char* const kBottom[] = {"POS_min", "SPD_min", "CRT_min"};
const char* const kTop[] = {"POS_max", "SPD_max", "CRT_max"};

// The test drive with an analogue input, with the module's scales for internal units.
// ADC full scale 65536 unless given, so that a span of 2x counts gives the gain x.
std::unique_ptr<CMC_Setup> AnalogueDrive(Inputs more = {}, const char* adc_max = "65536") {
    SetupBuilder b = EncoderDrive();
    // clang-format off
    b.Setting("ADCMaxValue", adc_max).Variable("CADIN")
        .Real("POS_min", 0, "rad").Real("POS_max", 0, "rad").Real("SPD_min", 0, "rad/s")
        .Real("SPD_max", 0, "rad/s").Real("CRT_min", 0, "A").Real("CRT_max", 0, "A")
        .Real("Limit_Speed", 1e6, "rad/s").Real("ImaxPS", 8, "A").Real("ImaxM", 5.6, "A")
        .Set({{"CADIN", 0}, {"SFTADIN", 0}, {"AD5OFF", 0}, {"ControlMode", 0}}).Set(more);
    // clang-format on
    auto s = b.Build();
    InstallScaleProvider(s.get());
    return s;
}

TEST(AnalogueGain, OffsetAndGainForEveryControlModeAndTheirReadBack) {
    struct Case {
        double mode, ratio;  // ratio: motor rad per load unit; its sign the direction
        double bottom, top;  // internal units of the mode's quantity
        double cadin, sftadin, ad5off;
    } cases[] = {
        {0, 1, -100, 200, 150, 0, -100},
        {1, 1, 0, 65534, 32767, 0, 0},  // x exactly 32767: no shift
        {2, 1, 0, 16000, 8000, 0, 0},
        {1, 1, 0, 131068, 32767, 1, 0},            // x = 2 x 32767: shift 1
        {2, 1, 0, 65536, 16384, 1, 0},             // x = 32768: shift 1, mantissa halved
        {0, -1, 0, 300, -150, 0, 0},               // reversing: negative gain
        {1, -2, -1000, 200000, -25125, 2, -1000},  // large and negative: shift by magnitude
        {0, 3, 500, 100, -200, 0, 500},            // falling reference
    };
    for (const auto& c : cases) {
        const int m = static_cast<int>(c.mode);
        auto s = AnalogueDrive({{"ControlMode", c.mode}, {"Motor_transmission", c.ratio}});
        s->SetParameterValueInInternalUnit(kBottom[m], c.bottom);
        s->SetParameterValueInInternalUnit(kTop[m], c.top);
        for (auto* f : {ComputeOption_CADIN, ComputeOption_SFTADIN, ComputeOption_AD5OFF})
            ASSERT_EQ(f(s.get()), 1);
        EXPECT_NEAR(Value(*s, "CADIN"), c.cadin, 1e-9) << c.mode << " " << c.ratio;
        EXPECT_EQ(Value(*s, "SFTADIN"), c.sftadin) << c.mode << " " << c.ratio;
        EXPECT_NEAR(Value(*s, "AD5OFF"), c.ad5off, 1e-9) << c.mode << " " << c.ratio;
        // A falling reference reads back as a point; the ends are 16-bit words.
        if (c.top < c.bottom || c.top > 32767) continue;
        s->SetParameterValueInInternalUnit(kBottom[m], 0.5);
        s->SetParameterValueInInternalUnit(kTop[m], 0.5);
        for (auto* f : {ReadBack_POS_min, ReadBack_POS_max, ReadBack_CRT_min, ReadBack_CRT_max,
                        ReadBack_SPD_min, ReadBack_SPD_max})
            ASSERT_EQ(f(s.get()), 1);
        EXPECT_NEAR(Internal(*s, kBottom[m]), c.bottom, 1e-9) << c.mode << " " << c.ratio;
        EXPECT_NEAR(Internal(*s, kTop[m]), c.top, 1e-9) << c.mode << " " << c.ratio;
    }
    // Another control mode has no span: gain 0, and the offset is not written.
    auto s = AnalogueDrive({{"ControlMode", 3}, {"AD5OFF", 77}, {"CADIN", 99}});
    EXPECT_EQ(ComputeOption_AD5OFF(s.get()), 0);
    ASSERT_EQ(ComputeOption_CADIN(s.get()), 1);
    EXPECT_EQ(Value(*s, "AD5OFF"), 77);
    EXPECT_EQ(Value(*s, "CADIN"), 0);
}

TEST(AnalogueSpan, ReadBackRangesOfTheEndValues) {
    // Offset -1000 counts, top end -1000 + 2000 counts, read into all three pairs.
    auto s = AnalogueDrive({{"AD5OFF", -1000}, {"CADIN", 1000}, {"Limit_Speed", 100}});
    for (auto* f : {ReadBack_POS_min, ReadBack_POS_max, ReadBack_SPD_min, ReadBack_SPD_max,
                    ReadBack_CRT_min, ReadBack_CRT_max})
        ASSERT_EQ(f(s.get()), 1);
    const double k_i = 65536 / (2 * 8.0);
    struct Expect {
        const char* name;
        double value, min, max;
    } expected[] = {
        {"POS_min", -1000 / kCountsPerRad, -32767 / kCountsPerRad, 1000 / kCountsPerRad},
        {"POS_max", 1000 / kCountsPerRad, -1000 / kCountsPerRad, 32767 / kCountsPerRad},
        // Speed ends never pass Limit_Speed (100 rad/s, 31.8 counts per sample).
        {"SPD_min", -100, -100, 100},
        {"SPD_max", 100, -100, 100},
        {"CRT_max", 1000 / k_i, -1000 / k_i, 5.6},  // the motor's peak is the lowest limit
    };
    for (const auto& e : expected) {
        EXPECT_NEAR(Value(*s, e.name), e.value, 1e-12) << e.name;
        EXPECT_NEAR(Min(*s, e.name), e.min, 1e-12) << e.name;
        EXPECT_NEAR(Max(*s, e.name), e.max, 1e-12) << e.name;
    }
    EXPECT_NEAR(Value(*s, "CRT_min"), -1000 / k_i, 1e-12);
}

TEST(AnalogueSpan, SpanMovedAboveTheOldTopIsReadBackUncut) {
    // The options say 1000..3000 counts while the parameters still hold 0..500.
    auto s = AnalogueDrive({{"AD5OFF", 1000}, {"CADIN", 1000}});
    s->SetParameterValueInInternalUnit("POS_max", 500);
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
        {20, 0, 2, "1", 32760, 6552, -10, 10, 20},  // +-10 V: ADC zero at -10 V
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
                     .Set({{"AnalogueInputsRange", c.inputs_range},
                           {"DeadBand_Point", c.point},
                           {"DeadBand_Range", c.width},
                           {"LEVEL_AD5", 0},
                           {"E_LEVEL_AD5", 0}})
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
        {0, 200, 32767, 0, 50},  // off: no filtering; the field shows 50 1/s
        {1, 200, (1 - std::exp(-200 * kTs)) * 32767, 1, 200},
        {1, 1000, (1 - std::exp(-0.5)) * 32767, 1, 1000},
        {1, 0, 0, 1, 0},
    };
    for (const auto& c : cases) {
        auto s = EncoderDrive()
                     .Set({{"UseFilter", c.use}, {"filter", c.filter}, {"FILTER1", 0}})
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
        auto s = EncoderDrive()
                     .Set({{"Motor_transmission", ratio},
                           {"ErefMaxSpeed", 100},
                           {"ErefMaxAcceleration", 2000},
                           {"CSPD", 0},
                           {"CACC", 0}})
                     .Build();
        const double k_s = std::fabs(kTs * kCountsPerRad * ratio);
        const double k_a = std::fabs(1000 * 2 * kTs * kTs / std::numbers::pi * ratio);
        ASSERT_EQ(ComputeOption_CSPD(s.get()), 1);
        ASSERT_EQ(ComputeOption_CACC(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "CSPD"), 100 * k_s);
        EXPECT_DOUBLE_EQ(Value(*s, "CACC"), 2000 * k_a);
        ASSERT_EQ(ReadBack_ErefMaxSpeed(s.get()), 1);
        ASSERT_EQ(ReadBack_ErefMaxAcceleration(s.get()), 1);
        EXPECT_NEAR(Value(*s, "ErefMaxSpeed"), 100, 1e-12);
        EXPECT_NEAR(Value(*s, "ErefMaxAcceleration"), 2000, 1e-9);
        EXPECT_DOUBLE_EQ(Max(*s, "ErefMaxSpeed"), 32767 / k_s);
        EXPECT_DOUBLE_EQ(Max(*s, "ErefMaxAcceleration"), 32767 / k_a);
    }
}

TEST(AnalogueRanges, GateAndDependentUpdate) {
    EXPECT_FALSE(HasAnalogueReference(SetupBuilder().Real("CADIN", 0).Build().get()));
    EXPECT_FALSE(HasAnalogueReference(SetupBuilder().Variable("CADIN").Build().get()));
    const Inputs values = {{"filter", 300},       {"AnalogueInputsRange", 5},
                           {"DeadBand_Point", 4}, {"DeadBand_Range", 0.5},
                           {"Limit_Speed", 50},   {"POS_min", -2},
                           {"POS_max", 3},        {"SPD_min", -10},
                           {"SPD_max", 20},       {"CRT_min", -1},
                           {"CRT_max", 2}};
    auto s = AnalogueDrive(values);
    ASSERT_EQ(UpdateAnalogueReferenceRanges(s.get()), 1);
    for (const auto& [name, value] : values) EXPECT_DOUBLE_EQ(Value(*s, name), value) << name;
    const double k_i = 65536 / 16.0;
    struct Range {
        const char* name;
        double min, max;
    } ranges[] = {
        {"filter", -4294967296.0, 4294967296.0},  // the caller's
        {"DeadBand_Point", 0, 5},
        {"DeadBand_Range", 0, 1},  // old-style dead band: up to the nearer end, 5 V - 4 V
        {"POS_min", -32767 / kCountsPerRad, 3},
        {"POS_max", -2, 32767 / kCountsPerRad},
        {"SPD_min", -50, 20},
        {"SPD_max", -10, 50},
        {"CRT_min", std::max(-5.6, -32767 / k_i), 2},
        {"CRT_max", -1, 5.6},
    };
    for (const auto& r : ranges) {
        EXPECT_DOUBLE_EQ(Min(*s, r.name), r.min) << r.name;
        EXPECT_DOUBLE_EQ(Max(*s, r.name), r.max) << r.name;
    }
    auto none = EncoderDrive().Real("CADIN", 0).Real("POS_min", 0).Real("POS_max", 0).Build();
    EXPECT_EQ(UpdateAnalogueReferenceRanges(none.get()), 0);
    EXPECT_EQ(Min(*none, "POS_min"), -4294967296.0);
}

TEST(AnalogueRoundTrip, ForwardThenReadBackReturnsTheEndValues) {
    std::mt19937 rng(20261206);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 300; ++i) {
        const int mode = i % 3;
        const char* adc = i % 2 ? "65520" : "4095";
        const double ratio = std::pow(10.0, u(rng)) * (u(rng) < 0 ? -1 : 1);
        auto s = AnalogueDrive({{"ControlMode", mode}, {"Motor_transmission", ratio}}, adc);
        const double a = 32767 * u(rng), b = 32767 * u(rng);  // within the 16-bit words
        const double bottom = std::min(a, b), top = std::max(a, b);
        s->SetParameterValueInInternalUnit(kBottom[mode], bottom);
        s->SetParameterValueInInternalUnit(kTop[mode], top);
        for (auto* f : {ComputeOption_CADIN, ComputeOption_SFTADIN, ComputeOption_AD5OFF})
            ASSERT_EQ(f(s.get()), 1);
        EXPECT_LE(std::fabs(Value(*s, "CADIN")), 32767.0);
        for (auto* f : {ReadBack_POS_min, ReadBack_POS_max, ReadBack_CRT_min, ReadBack_CRT_max,
                        ReadBack_SPD_min, ReadBack_SPD_max})
            ASSERT_EQ(f(s.get()), 1);
        if (mode == 2 && top > 5.6 * std::atof(adc) / 16) continue;  // past the motor's peak
        EXPECT_NEAR(Internal(*s, kBottom[mode]), bottom, 1e-7) << i;
        EXPECT_NEAR(Internal(*s, kTop[mode]), top, 1e-7) << i;
    }
}

TEST(AnalogueFailures, InfiniteScalesLeaveTargetsAsTheyWere) {
    struct Case {
        const char* zeroed;  // null: the ADC full scale is 0
        int (*convert)(CMC_Setup*);
        const char* target;
    } cases[] = {
        {"Load_transmission", ComputeOption_CADIN, "CADIN"},
        {"Load_transmission", ReadBack_POS_min, "POS_min"},
        {"Load_transmission", ReadBack_SPD_max, "SPD_max"},
        {"Load_transmission", ReadBack_ErefMaxSpeed, "ErefMaxSpeed"},
        {"Load_transmission", ComputeOption_CSPD, "CSPD"},
        {"DSP_freq", ReadBack_filter, "filter"},
        {"DSP_freq", ReadBack_ErefMaxAcceleration, "ErefMaxAcceleration"},
        {"ImaxPS", ReadBack_CRT_max, "CRT_max"},
        {"AnalogueInputsRange", ComputeOption_LEVEL_AD5, "LEVEL_AD5"},
        {nullptr, ComputeOption_CADIN, "CADIN"},
    };
    for (const auto& c : cases) {
        auto s = AnalogueDrive({{"POS_min", -1},
                                {"POS_max", 2},
                                {"SPD_max", 2},
                                {"CRT_max", 2},
                                {"filter", 100},
                                {"ErefMaxSpeed", 10},
                                {"ErefMaxAcceleration", 10},
                                {"AnalogueInputsRange", 20},
                                {"DeadBand_Point", 1},
                                {"DeadBand_Range", 1},
                                {"CADIN", 1234},
                                {"AD5OFF", 10},
                                {"FILTER1", 3000},
                                {"LEVEL_AD5", 1000},
                                {"CSPD", 1000},
                                {"CACC", 1000}},
                               c.zeroed ? "65520" : "0");
        if (c.zeroed) s->SetParameterValueInBaseUnit(c.zeroed, 0);
        const double value = Value(*s, c.target), min = Min(*s, c.target), max = Max(*s, c.target);
        c.convert(s.get());
        const char* why = c.zeroed ? c.zeroed : "ADC full scale";
        EXPECT_EQ(Value(*s, c.target), value) << c.target << " with " << why << " 0";
        EXPECT_EQ(Min(*s, c.target), min) << c.target << " with " << why << " 0";
        EXPECT_EQ(Max(*s, c.target), max) << c.target << " with " << why << " 0";
    }
}

}  // namespace
