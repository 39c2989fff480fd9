#include "compute/protection_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "tests/compute/setup_builder.h"

namespace {

using compute_test::kCurrentScale;
using compute_test::kVoltageScale;
using compute_test::PowerStageDrive;
using compute_test::SetupBuilder;
using compute_test::Value;
using Conversion = int (*)(CMC_Setup*);

const char* const kFlags[] = {"isOverCurrent",   "isMotorI2t",    "isMotorOverTemp",
                              "isDriveOverTemp", "isOverVoltage", "isUnderVoltage",
                              "isDriveI2t"};  // bits 0 to 5 and 7

std::unique_ptr<CMC_Setup> Flags(const double (&values)[7], double pcr, const char* disable = "0") {
    SetupBuilder b;
    for (int i = 0; i < 7; ++i) b.Real(kFlags[i], values[i]);
    return b.Option("PCR", pcr).Setting("DisableMotorTemperature", disable).Build();
}

TEST(ProtectionRegister, FlagsSetTheirBitsAndKeepTheOthers) {
    const struct {
        double flags[7], pcr_before;
        int pcr_after;
    } cases[] = {
        {{1, 0, 0, 0, 0, 0, 0}, 0xFFFF, 0xFF41},  // bit 6 and the high byte survive
        {{1, 1, 1, 1, 1, 1, 1}, 0, 0x00BF},
        {{0, 0.9, 0, 0, 0, 0, 0}, 0, 0x0000},  // 0.9 truncates to 0
        {{0, 1.0, 0, 0, 0, 0, 0}, 0, 0x0002},
        {{0, 2, 0, 0, 0, 0, 0}, 0, 0x0000},        // 2 is not "on"
        {{0, 0, 0, 0, 0, 0, 1}, 0x1FFFF, 0xFFC0},  // bits above 15 cleared
        {{0, 0, 1, 0, 1, 0, 0}, 0x0040 + 0.7, 0x0054},
    };
    for (const auto& c : cases) {
        auto s = Flags(c.flags, c.pcr_before);
        ASSERT_EQ(orvex::ComputeOption_PCR(s.get()), 1);
        EXPECT_EQ(Value(*s, "PCR"), c.pcr_after) << std::hex << c.pcr_after;
    }
}

TEST(ProtectionRegister, SwitchesReadBackFromTheirBits) {
    const Conversion read_backs[7] = {
        orvex::ReadBack_isOverCurrent,   orvex::ReadBack_isMotori2t,
        orvex::ReadBack_isMotorOverTemp, orvex::ReadBack_isDriveOverTemp,
        orvex::ReadBack_isOverVoltage,   orvex::ReadBack_isUnderVoltage,
        orvex::ReadBack_isDriveI2t};
    const struct {
        int pcr;
        const char* disable_motor_temp;
        double flags[7], motor_temp_max;
    } cases[] = {{0xFF41, "0", {1, 0, 0, 0, 0, 0, 0}, 1},
                 {0x0096, "0", {0, 1, 1, 0, 1, 0, 1}, 1},
                 {0x00BF, "1", {1, 1, 0, 1, 1, 1, 1}, 0}};  // no motor sensor: pinned at 0
    for (const auto& c : cases) {
        auto s = Flags({0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}, c.pcr, c.disable_motor_temp);
        for (int i = 0; i < 7; ++i) {
            ASSERT_EQ(read_backs[i](s.get()), 1) << kFlags[i];
            EXPECT_EQ(Value(*s, kFlags[i]), c.flags[i]) << kFlags[i] << std::hex << " " << c.pcr;
        }
        EXPECT_EQ(s->FindParameter("isMotorOverTemp")->GetMaxInBaseUnit(), c.motor_temp_max);
    }
}

std::unique_ptr<CMC_Setup> Voltages(double umax_V, double umin_V) {
    return PowerStageDrive()
        .Real("UMAX_PROT", umax_V, "V")
        .Real("UMIN_PROT", umin_V, "V")
        .Option("UMAXPROT", -1)
        .Option("UMINPROT", -1)
        .Build();
}

TEST(SupplyVoltage, OverVoltageTruncatesUnderVoltageKeepsTheFraction) {
    const struct {
        double umax_V, umax_counts, umin_V, umin_counts;
    } cases[] = {{60, 39312, 12, 7862.4}, {55.5, 36363, 10.25, 6715.8}, {1, 655, 1, 655.2}};
    for (const auto& c : cases) {
        auto s = Voltages(c.umax_V, c.umin_V);
        ASSERT_EQ(orvex::ComputeOption_UMAXPROT(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_UMINPROT(s.get()), 1);
        EXPECT_EQ(Value(*s, "UMAXPROT"), c.umax_counts) << c.umax_V;
        EXPECT_NEAR(Value(*s, "UMINPROT"), c.umin_counts, 1e-9) << c.umin_V;
    }
    auto s = Voltages(60, 12);  // unmeasurable supply: infinite counts are not stored
    s->SetParameterValueInBaseUnit("VdcMaxMeasurable", 0);
    ASSERT_EQ(orvex::ComputeOption_UMAXPROT(s.get()), 1);
    EXPECT_EQ(Value(*s, "UMAXPROT"), -1);
}

// Regression: UMAXPROT / k_U can round a hair below the voltage that gives UMAXPROT,
// and the truncating forward conversion then lost one count on every cycle.
TEST(SupplyVoltage, OverVoltageRegisterSurvivesEveryForwardAndReadBackCycle) {
    auto s = Voltages(1, 1);
    for (int reg = 656; reg <= 65520; ++reg) {  // 1 V to 100 V
        s->SetParameterValueInBaseUnit("UMAXPROT", reg);
        for (int cycle = 0; cycle < 3; ++cycle) {
            ASSERT_EQ(orvex::ReadBack_UMAX_PROT(s.get()), 1);
            ASSERT_EQ(orvex::ComputeOption_UMAXPROT(s.get()), 1);
        }
        ASSERT_EQ(Value(*s, "UMAXPROT"), reg);
        ASSERT_NEAR(Value(*s, "UMAX_PROT"), reg / kVoltageScale, 1e-12);
    }
}

struct I2tSide {
    const char *current, *time, *limit, *warning, *time_scale;
    Conversion forward_time_scale, forward_limit, forward_warning, read_current, read_time;
    double rated_A, min_A, max_A;  // PowerStageDrive(): InPS 5, ImaxPS 10; In 3, ImaxM 8
};

const I2tSide kSides[] = {
    {"I_I2t_D", "t_I2t_D", "I2TINTLIM_D", "II2TWARLIM_D", "SFI2T_D", orvex::ComputeOption_SFI2T_D,
     orvex::ComputeOption_I2TINTLIM_D, orvex::ComputeOption_II2TWARLIM_D, orvex::ReadBack_I_I2t_D,
     orvex::ReadBack_t_I2t_D, 5, 5, 10},
    {"I_I2t_M", "t_I2t_M", "I2TINTLIM_M", "I2TWARLIM_M", "SFI2T_M", orvex::ComputeOption_SFI2T_M,
     orvex::ComputeOption_I2TINTLIM_M, orvex::ComputeOption_I2TWARLIM_M, orvex::ReadBack_I_I2t_M,
     orvex::ReadBack_t_I2t_M, 3, 3.3, 8},
};

std::unique_ptr<CMC_Setup> I2t(const I2tSide& side, double current_A, double time_s) {
    return PowerStageDrive()
        .Real(side.current, current_A, "A")
        .Real(side.time, time_s, "s")
        .Option(side.limit, 0)
        .Option(side.warning, 0)
        .Option(side.time_scale, 0)
        .Build();
}

TEST(I2tProtection, LimitAndWarningInSquaredCurrentCounts) {
    const double unit = 67108864.0 / (32767.0 * 32767.0);  // 2^26 / 32767^2
    const struct {
        double current_A, time_s, warning_per_limit;
    } cases[] = {{7, 10, 0.8}, {6, 2, 0}, {8, 30, 28.0 / 30}};
    for (const auto& side : kSides) {
        for (const auto& c : cases) {
            auto s = I2t(side, c.current_A, c.time_s);
            ASSERT_EQ(side.forward_limit(s.get()), 1);
            ASSERT_EQ(side.forward_warning(s.get()), 1);
            const double i = c.current_A * kCurrentScale, rated = side.rated_A * kCurrentScale;
            const double limit = (i * i - rated * rated) * unit;
            EXPECT_NEAR(Value(*s, side.limit), limit, limit * 1e-14) << side.limit;
            EXPECT_NEAR(Value(*s, side.warning), limit * c.warning_per_limit, limit * 1e-14)
                << side.warning << " " << c.time_s;
        }
    }
}

// Regression: reading the current back with 16 in place of 32767^2 / 2^26 returned it
// 0.003 % high, and every editor round trip pushed it further up.
TEST(I2tProtection, CurrentAndTimeSurviveManyRoundTrips) {
    std::mt19937 rng(31);
    for (const auto& side : kSides) {
        for (int n = 0; n < 20; ++n) {
            const double current_A = std::uniform_real_distribution(side.min_A, side.max_A)(rng);
            const double time_s = std::uniform_real_distribution(1.1, 100.0)(rng);
            auto s = I2t(side, current_A, time_s);
            for (int cycle = 0; cycle < 1000; ++cycle) {
                side.forward_time_scale(s.get());
                side.forward_limit(s.get());
                ASSERT_EQ(side.read_current(s.get()), 1);
                ASSERT_EQ(side.read_time(s.get()), 1);
            }
            EXPECT_NEAR(Value(*s, side.current), current_A, current_A * 1e-12) << side.current;
            EXPECT_NEAR(Value(*s, side.time), time_s, time_s * 1e-12) << side.time;
            EXPECT_DOUBLE_EQ(s->FindParameter(side.current)->GetMinInBaseUnit(), side.min_A);
            EXPECT_DOUBLE_EQ(s->FindParameter(side.current)->GetMaxInBaseUnit(), side.max_A);
            EXPECT_DOUBLE_EQ(s->FindParameter(side.time)->GetMinInBaseUnit(), 2048 * 500e-6);
        }
    }
    auto s = I2t(kSides[1], 4, 10);  // a peak below 1.1 x In leaves no range
    s->SetParameterValueInBaseUnit("ImaxM", 3.2);
    EXPECT_EQ(orvex::ReadBack_I_I2t_M(s.get()), 0);
    EXPECT_EQ(Value(*s, "I_I2t_M"), 4);
}

TEST(ControlErrorProtection, TimesInSlowSamplesOr65535WhenOff) {
    const struct {
        double on, terrmax, tserrmax;
    } cases[] = {{1, 500, 200}, {0, 65535, 65535}, {0.9, 65535, 65535}, {1.5, 500, 200}};
    for (const auto& c : cases) {
        auto s = PowerStageDrive()
                     .Real("isPositionControlError", c.on)
                     .Real("isSpeedControlError", c.on)
                     .Real("time_ERR_pos", 0.25, "s")
                     .Real("time_ERR_spd", 0.1, "s")
                     .Option("TERRMAX", 0)
                     .Option("TSERRMAX", 0)
                     .Build();
        ASSERT_EQ(orvex::ComputeOption_TERRMAX(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_TSERRMAX(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "TERRMAX"), c.terrmax) << c.on;
        EXPECT_DOUBLE_EQ(Value(*s, "TSERRMAX"), c.tserrmax) << c.on;
        for (Conversion f : {orvex::ReadBack_isPositionControlError,
                             orvex::ReadBack_isSpeedControlError, orvex::ReadBack_time_ERR_spd})
            ASSERT_EQ(f(s.get()), 1);
        EXPECT_EQ(Value(*s, "isPositionControlError"), c.terrmax == 65535 ? 0 : 1);
        EXPECT_EQ(Value(*s, "isSpeedControlError"), c.tserrmax == 65535 ? 0 : 1);
        // 32767 slow samples of 500 us at most
        EXPECT_DOUBLE_EQ(Value(*s, "time_ERR_spd"), c.tserrmax == 65535 ? 16.3835 : 0.1);
    }
}

}  // namespace
