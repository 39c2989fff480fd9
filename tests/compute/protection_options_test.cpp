#include "compute/protection_options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "compute/option_codec.h"
#include "tests/compute/loop_fixture.h"

namespace {

using orvex_test::kCurrentScale;
using orvex_test::kVoltageScale;
using orvex_test::SetupBuilder;
using orvex_test::Value;

const char* const kFlags[] = {"isOverCurrent",   "isMotorI2t",    "isMotorOverTemp",
                              "isDriveOverTemp", "isOverVoltage", "isUnderVoltage",
                              "isDriveI2t"};

std::unique_ptr<CMC_Setup> Flags(const double (&values)[7], double pcr,
                                 const char* disable_motor_temp = nullptr) {
    SetupBuilder b;
    for (int i = 0; i < 7; ++i) b.Real(kFlags[i], values[i]);
    b.Option("PCR", pcr);
    if (disable_motor_temp) b.Setting("DisableMotorTemperature", disable_motor_temp);
    return b.Build();
}

TEST(ProtectionRegister, FlagsSetTheirBitsAndKeepTheOthers) {
    const struct {
        double flags[7];  // in the order of kFlags
        double pcr_before;
        int pcr_after;
    } cases[] = {
        {{1, 0, 0, 0, 0, 0, 0}, 0xFFFF, 0xFF41},  // bit 6 and the high byte survive
        {{1, 1, 1, 1, 1, 1, 1}, 0, 0x00BF},
        {{0, 0.9, 0, 0, 0, 0, 0}, 0, 0x0000},  // 0.9 truncates to 0
        {{0, 1.0, 0, 0, 0, 0, 0}, 0, 0x0002},
        {{0, 2, 0, 0, 0, 0, 0}, 0, 0x0000},        // 2 is not "on"
        {{0, 0, 0, 0, 0, 0, 1}, 0x1FFFF, 0xFFC0},  // bits above 15 cleared
        {{0, 0, 1, 0, 1, 0, 0}, 0x0040 + 0.7, 0x0054},
        {{0, 0, 0, 1, 0, 1, 0}, 0x00BF, 0x0028},
    };
    for (const auto& c : cases) {
        auto s = Flags(c.flags, c.pcr_before);
        ASSERT_EQ(orvex::ComputeOption_PCR(s.get()), 1);
        EXPECT_EQ(Value(*s, "PCR"), c.pcr_after) << std::hex << c.pcr_before;
    }
}

TEST(ProtectionRegister, SwitchesReadBackFromTheirBits) {
    int (*const read_backs[7])(CMC_Setup*) = {
        orvex::ReadBack_isOverCurrent,   orvex::ReadBack_isMotori2t,
        orvex::ReadBack_isMotorOverTemp, orvex::ReadBack_isDriveOverTemp,
        orvex::ReadBack_isOverVoltage,   orvex::ReadBack_isUnderVoltage,
        orvex::ReadBack_isDriveI2t};
    const struct {
        int pcr;
        double flags[7];
    } cases[] = {{0xFF41, {1, 0, 0, 0, 0, 0, 0}},
                 {0x00BF, {1, 1, 1, 1, 1, 1, 1}},
                 {0x0040, {0, 0, 0, 0, 0, 0, 0}},
                 {0x0096, {0, 1, 1, 0, 1, 0, 1}}};
    for (const auto& c : cases) {
        const double stale[7] = {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5};
        auto s = Flags(stale, c.pcr);
        for (int i = 0; i < 7; ++i) {
            ASSERT_EQ(read_backs[i](s.get()), 1) << kFlags[i];
            EXPECT_EQ(Value(*s, kFlags[i]), c.flags[i]) << kFlags[i] << std::hex << " " << c.pcr;
            EXPECT_EQ(s->FindParameter(kFlags[i])->GetMaxInBaseUnit(), 1);
        }
    }
    // A drive without motor temperature input pins that switch at 0.
    const double on[7] = {1, 1, 1, 1, 1, 1, 1};
    auto s = Flags(on, 0x00BF, "1");
    ASSERT_EQ(orvex::ReadBack_isMotorOverTemp(s.get()), 1);
    EXPECT_EQ(s->FindParameter("isMotorOverTemp")->GetMaxInBaseUnit(), 0);
    EXPECT_EQ(Value(*s, "isMotorOverTemp"), 0);
}

std::unique_ptr<CMC_Setup> Voltages(double umax_V, double umin_V) {
    return SetupBuilder()
        .Drive()
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
        ASSERT_EQ(orvex::ReadBack_UMIN_PROT(s.get()), 1);
        EXPECT_NEAR(Value(*s, "UMIN_PROT"), c.umin_V, 1e-12);
    }
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

TEST(SupplyVoltage, UnmeasurableSupplyLeavesRegistersAlone) {
    auto s = Voltages(60, 12);
    s->SetParameterValueInBaseUnit("VdcMaxMeasurable", 0);  // k_U infinite
    ASSERT_EQ(orvex::ComputeOption_UMAXPROT(s.get()), 1);
    ASSERT_EQ(orvex::ComputeOption_UMINPROT(s.get()), 1);
    EXPECT_EQ(Value(*s, "UMAXPROT"), -1);
    EXPECT_EQ(Value(*s, "UMINPROT"), -1);
}

TEST(DriveTemperature, ThresholdIsTheSensorOutputInAdcCounts) {
    // 0.5 V at 0 °C, 10 mV/°C, 3.3 V ADC range: 80 °C reads 1.3 V.
    auto s = SetupBuilder()
                 .Real("DriveTempOutputAt0oC", 0.5, "V")
                 .Real("DriveTempSensorGain", 0.01, "V/°C")
                 .Real("ADCrange", 3.3, "V")
                 .Real("Temp_2", 80, "°C")
                 .Option("T2MAXPROT", 0)
                 .Option("T1MAXPROT", 0)
                 .Build();
    ASSERT_EQ(orvex::ComputeOption_T2MAXPROT(s.get()), 1);
    ASSERT_EQ(orvex::ComputeOption_T1MAXPROT(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(*s, "T2MAXPROT"), 65520 * 1.3 / 3.3);
    EXPECT_EQ(Value(*s, "T1MAXPROT"), 32767);
    s->SetParameterValueInBaseUnit("Temp_2", 0);
    ASSERT_EQ(orvex::ReadBack_Temp_2(s.get()), 1);
    EXPECT_NEAR(Value(*s, "Temp_2"), 80, 1e-12);
    EXPECT_EQ(s->FindParameter("Temp_2")->GetMinInBaseUnit(), -100);
}

struct I2tConversions {
    const char *current, *time, *limit, *warning, *level, *time_scale;
    int (*forward_level)(CMC_Setup*);
    int (*forward_time_scale)(CMC_Setup*);
    int (*forward_limit)(CMC_Setup*);
    int (*forward_warning)(CMC_Setup*);
    int (*read_current)(CMC_Setup*);
    int (*read_time)(CMC_Setup*);
    double rated_A, min_A, max_A;  // of Drive(): InPS 5, ImaxPS 10; In 3, ImaxM 8
};

const I2tConversions kI2tSides[] = {
    {"I_I2t_D", "t_I2t_D", "I2TINTLIM_D", "II2TWARLIM_D", "II2TPROT_D", "SFI2T_D",
     orvex::ComputeOption_II2TPROT_D, orvex::ComputeOption_SFI2T_D,
     orvex::ComputeOption_I2TINTLIM_D, orvex::ComputeOption_II2TWARLIM_D, orvex::ReadBack_I_I2t_D,
     orvex::ReadBack_t_I2t_D, 5, 5, 10},
    {"I_I2t_M", "t_I2t_M", "I2TINTLIM_M", "I2TWARLIM_M", "II2TPROT_M", "SFI2T_M",
     orvex::ComputeOption_II2TPROT_M, orvex::ComputeOption_SFI2T_M,
     orvex::ComputeOption_I2TINTLIM_M, orvex::ComputeOption_I2TWARLIM_M, orvex::ReadBack_I_I2t_M,
     orvex::ReadBack_t_I2t_M, 3, 3.3, 8},
};

std::unique_ptr<CMC_Setup> I2t(const I2tConversions& side, double current_A, double time_s) {
    return SetupBuilder()
        .Drive()
        .Real(side.current, current_A, "A")
        .Real(side.time, time_s, "s")
        .Option(side.limit, 0)
        .Option(side.warning, 0)
        .Option(side.level, 0)
        .Option(side.time_scale, 0)
        .Build();
}

TEST(I2tProtection, LimitsInSquaredCurrentCounts) {
    const double unit = 67108864.0 / (32767.0 * 32767.0);  // 2^26 / 32767^2
    for (const auto& side : kI2tSides) {
        const struct {
            double current_A, time_s, warning_per_limit;
        } cases[] = {{7, 10, 0.8}, {6, 2, 0}, {8, 30, 28.0 / 30}};
        for (const auto& c : cases) {
            auto s = I2t(side, c.current_A, c.time_s);
            ASSERT_EQ(side.forward_level(s.get()), 1);
            ASSERT_EQ(side.forward_time_scale(s.get()), 1);
            ASSERT_EQ(side.forward_limit(s.get()), 1);
            ASSERT_EQ(side.forward_warning(s.get()), 1);
            const double i = c.current_A * kCurrentScale, rated = side.rated_A * kCurrentScale;
            const double limit = (i * i - rated * rated) * unit;
            EXPECT_NEAR(Value(*s, side.limit), limit, limit * 1e-14) << side.limit;
            EXPECT_NEAR(Value(*s, side.warning), limit * c.warning_per_limit, limit * 1e-14)
                << side.warning << " " << c.time_s;
            EXPECT_DOUBLE_EQ(Value(*s, side.level), rated) << side.level;
            EXPECT_DOUBLE_EQ(Value(*s, side.time_scale), 500e-6 * 67108864.0 / c.time_s);
        }
    }
}

// Regression: reading the current back with 16 in place of 32767^2 / 2^26 returned it
// 0.003 % high, and every editor round trip pushed it further up.
TEST(I2tProtection, CurrentAndTimeSurviveManyRoundTrips) {
    std::mt19937 rng(31);
    for (const auto& side : kI2tSides) {
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
            const CMC_Parameter* p = s->FindParameter(side.current);
            EXPECT_DOUBLE_EQ(p->GetMinInBaseUnit(), side.min_A) << side.current;
            EXPECT_DOUBLE_EQ(p->GetMaxInBaseUnit(), side.max_A) << side.current;
            const CMC_Parameter* t = s->FindParameter(side.time);
            EXPECT_DOUBLE_EQ(t->GetMinInBaseUnit(), 2048 * 500e-6);
            EXPECT_DOUBLE_EQ(t->GetMaxInBaseUnit(), 67108864.0 * 500e-6);
        }
    }
}

TEST(I2tProtection, MotorCurrentRangeBelowTheTripFloorWritesNothing) {
    auto s = I2t(kI2tSides[1], 4, 10);
    s->SetParameterValueInBaseUnit("ImaxM", 3.2);  // below 1.1 x In = 3.3
    s->SetParameterValueInBaseUnit("I2TINTLIM_M", 1e6);
    EXPECT_EQ(orvex::ReadBack_I_I2t_M(s.get()), 0);
    EXPECT_EQ(Value(*s, "I_I2t_M"), 4);
}

std::unique_ptr<CMC_Setup> ControlErrors(double position_on, double speed_on) {
    return SetupBuilder()
        .Drive()
        .Real("isPositionControlError", position_on)
        .Real("isSpeedControlError", speed_on)
        .Real("time_ERR_pos", 0.25, "s")
        .Real("time_ERR_spd", 0.1, "s")
        .Real("ERR_position", 0.5, "rad")
        .Real("ERR_speed", 20, "rad/s")
        .Real("Imax_Prot", 6, "A")
        .Real("TestProtectionCurrent", 0, "A")
        .Real("time_Imax_Prot", 0.02, "s")
        .Option("TERRMAX", 0)
        .Option("TSERRMAX", 0)
        .Option("ERRMAX", 0)
        .Option("SERRMAX", 0)
        .Option("IMAXPROT", 0)
        .Option("TIMAXPROT", 0)
        .Build();
}

TEST(ControlErrorProtection, TimesInSlowSamplesOr65535WhenOff) {
    const struct {
        double on, terrmax, tserrmax;
    } cases[] = {{1, 500, 200}, {0, 65535, 65535}, {0.9, 65535, 65535}, {1.5, 500, 200}};
    for (const auto& c : cases) {
        auto s = ControlErrors(c.on, c.on);
        ASSERT_EQ(orvex::ComputeOption_TERRMAX(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_TSERRMAX(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "TERRMAX"), c.terrmax) << c.on;
        EXPECT_DOUBLE_EQ(Value(*s, "TSERRMAX"), c.tserrmax) << c.on;
        ASSERT_EQ(orvex::ReadBack_isPositionControlError(s.get()), 1);
        ASSERT_EQ(orvex::ReadBack_isSpeedControlError(s.get()), 1);
        EXPECT_EQ(Value(*s, "isPositionControlError"), c.terrmax == 65535 ? 0 : 1);
        EXPECT_EQ(Value(*s, "isSpeedControlError"), c.tserrmax == 65535 ? 0 : 1);
    }
    auto s = ControlErrors(1, 1);
    orvex::ComputeOption_TERRMAX(s.get());
    orvex::ComputeOption_TSERRMAX(s.get());
    ASSERT_EQ(orvex::ReadBack_time_ERR_pos(s.get()), 1);
    ASSERT_EQ(orvex::ReadBack_time_ERR_spd(s.get()), 1);
    EXPECT_NEAR(Value(*s, "time_ERR_pos"), 0.25, 1e-15);
    EXPECT_NEAR(Value(*s, "time_ERR_spd"), 0.1, 1e-15);
    // 32767 slow samples of 500 us
    EXPECT_DOUBLE_EQ(s->FindParameter("time_ERR_pos")->GetMaxInBaseUnit(), 16.3835);
}

TEST(ControlErrorProtection, ThresholdsInCountsOfTheLoad) {
    const double k_p = 4000 / orvex::kTwoPi, k_s = 500e-6 * k_p;
    const struct {
        double motor_per_load;  // motor rad per load unit; negative reverses
    } cases[] = {{1}, {-3}, {0.5}};
    for (const auto& c : cases) {
        auto s = ControlErrors(1, 1);
        s->SetParameterValueInBaseUnit("Motor_transmission", c.motor_per_load);
        ASSERT_EQ(orvex::ComputeOption_ERRMAX(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_SERRMAX(s.get()), 1);
        const double ratio = std::abs(c.motor_per_load);
        EXPECT_NEAR(Value(*s, "ERRMAX"), 0.5 * k_p * ratio, 1e-9);
        EXPECT_NEAR(Value(*s, "SERRMAX"), 20 * k_s * ratio, 1e-9);
        s->SetParameterValueInBaseUnit("ERR_position", 0);
        s->SetParameterValueInBaseUnit("ERR_speed", 0);
        ASSERT_EQ(orvex::ReadBack_ERR_position(s.get()), 1);
        ASSERT_EQ(orvex::ReadBack_ERR_speed(s.get()), 1);
        EXPECT_NEAR(Value(*s, "ERR_position"), 0.5, 1e-12);
        EXPECT_NEAR(Value(*s, "ERR_speed"), 20, 1e-12);
        EXPECT_NEAR(s->FindParameter("ERR_position")->GetMaxInBaseUnit(), 32767 / (k_p * ratio),
                    1e-9);
    }
}

TEST(OverCurrentProtection, ThresholdAndTimeRoundTrip) {
    auto s = ControlErrors(1, 1);
    ASSERT_EQ(orvex::ComputeOption_IMAXPROT(s.get()), 1);
    ASSERT_EQ(orvex::ComputeOption_TIMAXPROT(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(*s, "IMAXPROT"), 6 * kCurrentScale);
    EXPECT_DOUBLE_EQ(Value(*s, "TIMAXPROT"), 40);
    s->SetParameterValueInBaseUnit("Imax_Prot", 1);
    ASSERT_EQ(orvex::ReadBack_Imax_Prot(s.get()), 1);
    ASSERT_EQ(orvex::ReadBack_TestProtectionCurrent(s.get()), 1);
    ASSERT_EQ(orvex::ReadBack_time_Imax_Prot(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(*s, "Imax_Prot"), 6);
    EXPECT_DOUBLE_EQ(Value(*s, "TestProtectionCurrent"), 6);
    EXPECT_DOUBLE_EQ(Value(*s, "time_Imax_Prot"), 0.02);
    EXPECT_EQ(s->FindParameter("Imax_Prot")->GetMaxInBaseUnit(), 8);  // min(ImaxM, ImaxPS)
    EXPECT_EQ(s->FindParameter("TestProtectionCurrent")->GetMinInBaseUnit(), 0);
}

TEST(VoltageBoost, DrivesTheSmallerRatedCurrentThroughTheWinding) {
    const struct {
        double r_ohm, in_A, inps_A, boost;
    } cases[] = {{1.2, 3, 5, 1.2 * 3 * 32767 / 48.0}, {0.5, 6, 4, 0.5 * 4 * 32767 / 48.0}};
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Drive()
                     .Real("R", c.r_ohm, "Ohm")
                     .Real("In", c.in_A, "A")
                     .Real("InPS", c.inps_A, "A")
                     .Option("BOOST", 0)
                     .Build();
        ASSERT_EQ(orvex::ComputeOption_BOOST(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "BOOST"), c.boost);
    }
}

TEST(ProtectionConversions, AbsentNameWritesNothing) {
    auto s = ControlErrors(1, 1);
    s = SetupBuilder().Drive().Option("TERRMAX", 7).Real("time_ERR_pos", 1, "s").Build();
    axis::ScopedSilentLookup quiet;
    EXPECT_EQ(orvex::ComputeOption_TERRMAX(s.get()), 0);
    EXPECT_EQ(Value(*s, "TERRMAX"), 7);
    s = SetupBuilder().Drive().Option("I2TINTLIM_D", 7).Real("I_I2t_D", 6, "A").Build();
    EXPECT_EQ(orvex::ComputeOption_I2TINTLIM_D(s.get()), 0);
    EXPECT_EQ(Value(*s, "I2TINTLIM_D"), 7);
}

}  // namespace
