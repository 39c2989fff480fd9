#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "compute/control_loop_options.h"
#include "compute/option_codec.h"
#include "tests/compute/loop_fixture.h"

namespace {

using orvex_test::kCurrentScale;
using orvex_test::SetupBuilder;
using orvex_test::Value;

struct GainConversions {
    const char *gain, *mantissa, *shift;
    int (*forward_shift)(CMC_Setup*);
    int (*forward_mantissa)(CMC_Setup*);
    int (*read_back)(CMC_Setup*);
};

const GainConversions kGainFamilies[] = {
    {"Kp_C_scl", "KPI", "SFTKPI", orvex::ComputeOption_SFTKPI, orvex::ComputeOption_KPI,
     orvex::ReadBack_Kp_C_scl},
    {"Ki_C_scl", "KII", "SFTKII", orvex::ComputeOption_SFTKII, orvex::ComputeOption_KII,
     orvex::ReadBack_Ki_C_scl},
    {"Kp_S_scl", "KPS", "SFTKPS", orvex::ComputeOption_SFTKPS, orvex::ComputeOption_KPS,
     orvex::ReadBack_Kp_S_scl},
    {"Ki_S_scl", "KIS", "SFTKIS", orvex::ComputeOption_SFTKIS, orvex::ComputeOption_KIS,
     orvex::ReadBack_Ki_S_scl},
    {"Kp_P_scl", "KPP", "SFTKPP", orvex::ComputeOption_SFTKPP, orvex::ComputeOption_KPP,
     orvex::ReadBack_Kp_P_scl},
    {"Ki_P_scl", "KIP", "SFTKIP", orvex::ComputeOption_SFTKIP, orvex::ComputeOption_KIP,
     orvex::ReadBack_Ki_P_scl},
    {"Kd_P_scl", "KDP", "SFTKDP", orvex::ComputeOption_SFTKDP, orvex::ComputeOption_KDP,
     orvex::ReadBack_Kd_P_scl},
    {"KFFS_scl", "KFFS", "SFTSFFW", orvex::ComputeOption_SFTSFFW, orvex::ComputeOption_KFFS,
     orvex::ReadBack_KFFS_scl},
    {"Kp_T_scl", "KPTHT", "SFTKPTHT", orvex::ComputeOption_SFTKPTHT, orvex::ComputeOption_KPTHT,
     orvex::ReadBack_Kp_T_scl},
    {"Ki_T_scl", "KITHT", "SFTKITHT", orvex::ComputeOption_SFTKITHT, orvex::ComputeOption_KITHT,
     orvex::ReadBack_Ki_T_scl},
};

TEST(LoopGains, EachFamilyEncodesItsOwnPairAndDecodesTheDriveGain) {
    const struct {
        double gain, shift, mantissa;
    } cases[] = {{1.0, 0, 32767},
                 {3.0, 2, 3 * 32767.0 / 4},
                 {16384.0, 14, 32767},
                 {0.5, 0, 32767.0 / 2},
                 {37.1, 6, 37.1 * 32767 / 64}};
    for (const auto& f : kGainFamilies) {
        for (const auto& c : cases) {
            auto s = SetupBuilder()
                         .Real(f.gain, c.gain, "", 0, 16384)
                         .Option(f.mantissa, -7)
                         .Option(f.shift, -7)
                         .Build();
            ASSERT_EQ(f.forward_shift(s.get()), 1) << f.shift;
            EXPECT_EQ(Value(*s, f.shift), c.shift) << f.shift << " " << c.gain;
            EXPECT_EQ(Value(*s, f.mantissa), -7) << f.shift << " writes only its own option";
            ASSERT_EQ(f.forward_mantissa(s.get()), 1) << f.mantissa;
            EXPECT_DOUBLE_EQ(Value(*s, f.mantissa), c.mantissa) << f.mantissa << " " << c.gain;
            ASSERT_EQ(f.read_back(s.get()), 1);
            EXPECT_DOUBLE_EQ(Value(*s, f.gain), c.mantissa * std::pow(2.0, c.shift) / 32767)
                << f.gain;
        }
    }
}

TEST(LoopGains, AbsentOptionWritesNothing) {
    for (const auto& f : kGainFamilies) {
        auto s = SetupBuilder().Real(f.gain, 3.0).Option(f.shift, -7).Build();
        axis::ScopedSilentLookup quiet;
        EXPECT_EQ(f.forward_shift(s.get()), 0) << f.shift;
        EXPECT_EQ(Value(*s, f.shift), -7) << f.shift;
    }
}

TEST(AccelerationFeedForward, SplitsTheShiftAtEleven) {
    const struct {
        double gain, sftaffw, sftkff, kffa;
    } cases[] = {
        {32768.0, 11, 4, 32767},   // 2^15
        {0.5, 0, 0, 32767.0 / 2},  // below one: no shift
        {2048.0, 11, 0, 32767},    // 2^11: all in SFTAFFW
        {3000.0, 11, 1, 3000 * 32767.0 / 4096},
        {4194304.0, 11, 11, 32767},  // 2^22, the read-back's ceiling
    };
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Real("KFFA_scl", c.gain)
                     .Option("SFTAFFW", -1)
                     .Option("SFTKFF", -1)
                     .Option("KFFA", -1)
                     .Build();
        ASSERT_EQ(orvex::ComputeOption_SFTKFF(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_KFFA(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_SFTAFFW(s.get()), 1);
        EXPECT_EQ(Value(*s, "SFTAFFW"), c.sftaffw) << c.gain;
        EXPECT_EQ(Value(*s, "SFTKFF"), c.sftkff) << c.gain;
        EXPECT_DOUBLE_EQ(Value(*s, "KFFA"), c.kffa) << c.gain;
        s->SetParameterValueInBaseUnit("KFFA_scl", 0.25);
        ASSERT_EQ(orvex::ReadBack_KFFA_scl(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "KFFA_scl"), c.gain);
    }
}

std::unique_ptr<CMC_Setup> CurrentLoop(double use_filter, double corner_per_s, double filterq) {
    return SetupBuilder()
        .Drive()
        .Real("isUseFilterOnCrtCtrlOutput", use_filter)
        .Real("FilterOnCurrentControllerOutput", corner_per_s, "1/s")
        .Option("FILTERQ", filterq)
        .Build();
}

TEST(CurrentOutputFilter, CoefficientIsTruncatedAndOffReadsBackAsDefault) {
    const struct {
        double use, corner_per_s, filterq;
    } cases[] = {
        {0, 1000, 32767},   // off: unfiltered, whatever the corner
        {1, 1000, 1598},    // (1 - e^-0.05) x 32767 = 1598.07
        {1, 5000, 7248},    // 7248.03
        {0.5, 1000, 1598},  // any nonzero value switches the filter on
        {1, 0, 0},
    };
    for (const auto& c : cases) {
        auto s = CurrentLoop(c.use, c.corner_per_s, -5);
        ASSERT_EQ(orvex::ComputeOption_FILTERQ(s.get()), 1);
        EXPECT_EQ(Value(*s, "FILTERQ"), c.filterq) << c.corner_per_s;
    }
    auto s = CurrentLoop(1, 1234, 32767);
    ASSERT_EQ(orvex::ReadBack_isUseFilterOnCrtCtrlOutput(s.get()), 1);
    ASSERT_EQ(orvex::ReadBack_FilterOnCurrentControllerOutput(s.get()), 1);
    EXPECT_EQ(Value(*s, "isUseFilterOnCrtCtrlOutput"), 0);
    EXPECT_EQ(Value(*s, "FilterOnCurrentControllerOutput"), 5000);
    // The corner may not pass the current loop's Nyquist frequency, 1 / (2 T_C).
    EXPECT_EQ(s->FindParameter("FilterOnCurrentControllerOutput")->GetMaxInBaseUnit(), 10000);
}

// Regression: -ln(1 - Q / 32767) / T_C can round a hair below the corner that gives Q,
// and the truncating forward conversion then gave Q - 1 on every cycle.
TEST(CurrentOutputFilter, RegisterSurvivesEveryForwardAndReadBackCycle) {
    auto s = CurrentLoop(1, 0, 0);
    // 12892 is the largest coefficient whose corner lies below the Nyquist frequency.
    for (int q = 1; q <= 12892; ++q) {
        s->SetParameterValueInBaseUnit("FILTERQ", q);
        for (int cycle = 0; cycle < 3; ++cycle) {
            ASSERT_EQ(orvex::ReadBack_FilterOnCurrentControllerOutput(s.get()), 1);
            ASSERT_EQ(orvex::ComputeOption_FILTERQ(s.get()), 1);
        }
        ASSERT_EQ(Value(*s, "FILTERQ"), q);
        const double exact = -std::log(1.0 - q / 32767.0) / 50e-6;
        ASSERT_NEAR(Value(*s, "FilterOnCurrentControllerOutput"), exact, exact * 1e-9) << q;
    }
}

TEST(GravitationalLoad, OffsetCurrentInCountsOnlyWhenCompensating) {
    const struct {
        double compensate, offset_A, ffl;
    } cases[] = {{1, 0.5, 0.5 * kCurrentScale},
                 {1.7, -0.25, -0.25 * kCurrentScale},  // truncates to 1: on
                 {0, 0.5, 0},
                 {0.9, 0.5, 0}};
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Drive()
                     .Real("isCompensateGravitationalLoads", c.compensate)
                     .Real("OffsetCurrent", c.offset_A, "A")
                     .Option("FFL", 99)
                     .Build();
        ASSERT_EQ(orvex::ComputeOption_FFL(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "FFL"), c.ffl) << c.compensate;
        ASSERT_EQ(orvex::ReadBack_isCompensateGravitationalLoads(s.get()), 1);
        ASSERT_EQ(orvex::ReadBack_OffsetCurrent(s.get()), 1);
        EXPECT_EQ(Value(*s, "isCompensateGravitationalLoads"), c.ffl != 0 ? 1 : 0);
        EXPECT_DOUBLE_EQ(Value(*s, "OffsetCurrent"), c.ffl != 0 ? c.offset_A : 0);
        EXPECT_EQ(s->FindParameter("OffsetCurrent")->GetMinInBaseUnit(), -3);  // -In
    }
}

TEST(PwmSaturation, FollowsCurrentMeasurementType) {
    const struct {
        double type, sat;
    } cases[] = {{0, 0}, {1, 20000 * 0.13107}, {3, 20000 * 0.13107}};
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Drive()
                     .Real("CurrentMeasurementType", c.type)
                     .Option("SATPWM", -1)
                     .Option("SATID", -1)
                     .Option("SATIQ", -1)
                     .Option("KFFL", 0)
                     .Build();
        ASSERT_EQ(orvex::ComputeOption_SATPWM(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_SATID(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_SATIQ(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_KFFL(s.get()), 1);
        for (const char* name : {"SATPWM", "SATID", "SATIQ"})
            EXPECT_DOUBLE_EQ(Value(*s, name), c.sat) << name << " type " << c.type;
        EXPECT_EQ(Value(*s, "KFFL"), 32767);
    }
}

std::unique_ptr<CMC_Setup> Saturations(double position_type, double mode, double acr = 0) {
    return SetupBuilder()
        .Drive()
        .Real("IlimPS", 2, "A")
        .Real("IPSatS", 50, "%")
        .Real("IPSatP", 25, "%")
        .Real("Limit_Speed", 100, "rad/s")
        .Real("PositionControlType", position_type)
        .Real("ControlMode", mode)
        .Real("TestLimitCurrent", 0, "A")
        .Option("ACR", acr)
        .Option("IMAXS", -1)
        .Option("SATS", -1)
        .Option("IMAXP", -1)
        .Option("SATP", -1)
        .Build();
}

TEST(LoopSaturations, StoredAsDistanceFromFullScale) {
    auto s = Saturations(0, 1);
    ASSERT_EQ(orvex::ComputeOption_IMAXS(s.get()), 1);
    ASSERT_EQ(orvex::ComputeOption_SATS(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(*s, "SATS"), 32767 - 2 * kCurrentScale);  // 26215
    EXPECT_DOUBLE_EQ(Value(*s, "IMAXS"), 32767 - 0.5 * 2 * kCurrentScale);
    EXPECT_EQ(s->FindParameter("SATS")->GetMinInBaseUnit(), 0);
    EXPECT_EQ(s->FindParameter("SATS")->GetMaxInBaseUnit(), 32767);

    const struct { double ipsat, imaxs; } cases[] = {{100, 26215}, {0, 32767}};
    for (const auto& c : cases) {
        s->SetParameterValueInBaseUnit("IPSatS", c.ipsat);
        ASSERT_EQ(orvex::ComputeOption_IMAXS(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "IMAXS"), c.imaxs) << c.ipsat;
    }
    // A limit beyond full scale saturates at 0 counts from the bottom.
    s->SetParameterValueInBaseUnit("IlimPS", 20);
    ASSERT_EQ(orvex::ComputeOption_SATS(s.get()), 1);
    EXPECT_EQ(Value(*s, "SATS"), 0);
}

TEST(LoopSaturations, PositionLoopSaturatesAtSpeedLimitOnlyWhenItDrivesSpeedLoop) {
    // k_S = T_S x 4000 / 2pi counts per rad/s
    const double k_s = 500e-6 * 4000 / orvex::kTwoPi;
    const struct {
        double position_type, mode, satp, imaxp;
    } cases[] = {
        {1, 0, 32767 - 100 * k_s, 32767 - 100 * 0.25 * k_s},
        {0, 0, 32767 - 2 * kCurrentScale, 32767 - 2 * 0.25 * kCurrentScale},
        {1, 1, 32767 - 2 * kCurrentScale, 32767 - 2 * 0.25 * kCurrentScale},
        {1, 2, 32767 - 2 * kCurrentScale, 32767 - 2 * 0.25 * kCurrentScale},
    };
    for (const auto& c : cases) {
        auto s = Saturations(c.position_type, c.mode);
        ASSERT_EQ(orvex::ComputeOption_IMAXP(s.get()), 1);
        ASSERT_EQ(orvex::ComputeOption_SATP(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "SATP"), c.satp) << c.position_type << " " << c.mode;
        EXPECT_DOUBLE_EQ(Value(*s, "IMAXP"), c.imaxp) << c.position_type << " " << c.mode;
        s->SetParameterValueInBaseUnit("Limit_Speed", 1);
        s->SetParameterValueInBaseUnit("IPSatP", 1);
        ASSERT_EQ(orvex::ReadBack_IPSatP(s.get()), 1);
        ASSERT_EQ(orvex::ReadBack_Limit_Speed(s.get()), 1);
        EXPECT_NEAR(Value(*s, "IPSatP"), 25, 1e-9);
        // Read back only where the position loop's output is a speed.
        EXPECT_NEAR(Value(*s, "Limit_Speed"), c.position_type == 1 && c.mode == 0 ? 100 : 1, 1e-9);
    }
}

TEST(CurrentLimit, ReadFromTheSaturationOfTheOutermostCurrentLoop) {
    const struct {
        double position_type, mode, acr, limit_A;
    } cases[] = {
        {0, 1, 1 << 9, 3.0},  // speed mode: SATS
        {1, 0, 1 << 9, 3.0},  // position through the speed loop: SATS
        {0, 2, 0, 1.5},       // current mode: SATP
        {0, 0, 0xFDFF, 1.5},  // position mode, direct: SATP (every other ACR bit set)
    };
    for (const auto& c : cases) {
        auto s = Saturations(c.position_type, c.mode, c.acr);
        s->SetParameterValueInBaseUnit("SATS", 32767 - 3.0 * kCurrentScale);
        s->SetParameterValueInBaseUnit("SATP", 32767 - 1.5 * kCurrentScale);
        ASSERT_EQ(orvex::ReadBack_IlimPS(s.get()), 1);
        ASSERT_EQ(orvex::ReadBack_TestLimitCurrent(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "IlimPS"), c.limit_A) << c.acr;
        EXPECT_DOUBLE_EQ(Value(*s, "TestLimitCurrent"), c.limit_A) << c.acr;
        EXPECT_EQ(s->FindParameter("IlimPS")->GetMaxInBaseUnit(), 8);  // min(ImaxM, ImaxPS)
    }
}

TEST(TestValues, EmptyRangeStopsTheReadBack) {
    auto s = SetupBuilder()
                 .Drive()
                 .Real("ImaxM", 0.0005, "A")
                 .Real("In", 0.0005, "A")
                 .Real("IlimPS", 0.7, "A")
                 .Real("TestCurrent", 0.7, "A")
                 .Option("ACR", 0)
                 .Option("SATS", 0)
                 .Option("SATP", 0)
                 .Build();
    EXPECT_EQ(orvex::ReadBack_IlimPS(s.get()), 0);
    EXPECT_EQ(orvex::ReadBack_TestCurrent(s.get()), 0);
    EXPECT_EQ(Value(*s, "IlimPS"), 0.7);
    EXPECT_EQ(Value(*s, "TestCurrent"), 0.7);

    s->SetParameterValueInBaseUnit("In", 2);
    ASSERT_EQ(orvex::ReadBack_TestCurrent(s.get()), 1);
    EXPECT_EQ(Value(*s, "TestCurrent"), 2);  // min(In, InPS)
    EXPECT_DOUBLE_EQ(s->FindParameter("TestCurrent")->GetMaxInBaseUnit(), 3.6);
}

// Forward then read-back gives every parameter back, over many drawn values.
TEST(LoopRoundTrip, ParametersSurviveForwardAndReadBack) {
    std::mt19937 rng(2718);
    auto draw = [&](double lo, double hi) { return std::uniform_real_distribution(lo, hi)(rng); };
    for (int i = 0; i < 300; ++i) {
        const double position_type = i % 2, mode = (i / 2) % 3;
        auto s = Saturations(position_type, mode);
        for (const auto& f : kGainFamilies) {
            const double k = std::exp(draw(std::log(1e-4), std::log(16000.0)));
            s = SetupBuilder().Real(f.gain, k).Option(f.mantissa, 0).Option(f.shift, 0).Build();
            f.forward_shift(s.get());
            f.forward_mantissa(s.get());
            ASSERT_EQ(f.read_back(s.get()), 1);
            ASSERT_NEAR(Value(*s, f.gain), k, k * 1e-14) << f.gain;
        }
        s = Saturations(position_type, mode);
        const double ilim = draw(0.01, 8), ipsats = draw(0, 100), ipsatp = draw(0, 100);
        const double limit_speed = draw(1, 1000), filter_d = draw(0, 1);
        s->SetParameterValueInBaseUnit("IlimPS", ilim);
        s->SetParameterValueInBaseUnit("IPSatS", ipsats);
        s->SetParameterValueInBaseUnit("IPSatP", ipsatp);
        s->SetParameterValueInBaseUnit("Limit_Speed", limit_speed);
        orvex::ComputeOption_IMAXS(s.get());
        orvex::ComputeOption_SATS(s.get());
        orvex::ComputeOption_IMAXP(s.get());
        orvex::ComputeOption_SATP(s.get());
        s->SetParameterValueInBaseUnit("IPSatS", -1);
        s->SetParameterValueInBaseUnit("IPSatP", -1);
        s->SetParameterValueInBaseUnit("Limit_Speed", -1);
        ASSERT_EQ(orvex::ReadBack_IPSatS(s.get()), 1);
        ASSERT_EQ(orvex::ReadBack_IPSatP(s.get()), 1);
        ASSERT_EQ(orvex::ReadBack_Limit_Speed(s.get()), 1);
        EXPECT_NEAR(Value(*s, "IPSatS"), ipsats, 1e-9);
        EXPECT_NEAR(Value(*s, "IPSatP"), ipsatp, 1e-9);
        if (position_type == 1 && mode == 0) {
            EXPECT_NEAR(Value(*s, "Limit_Speed"), limit_speed, limit_speed * 1e-12);
        }
        const bool speed_loop_closed = mode == 1 || (position_type == 1 && mode == 0);
        s->SetParameterValueInBaseUnit("ACR", speed_loop_closed ? 1 << 9 : 0);
        ASSERT_EQ(orvex::ReadBack_IlimPS(s.get()), 1);
        EXPECT_NEAR(Value(*s, "IlimPS"), ilim, 1e-12);

        auto d = SetupBuilder().Real("filter_D", filter_d).Option("KDFP", 0).Build();
        orvex::ComputeOption_KDFP(d.get());
        d->SetParameterValueInBaseUnit("filter_D", -1);
        ASSERT_EQ(orvex::ReadBack_filter_D(d.get()), 1);
        EXPECT_NEAR(Value(*d, "filter_D"), filter_d, 1e-15);
    }
}

}  // namespace
