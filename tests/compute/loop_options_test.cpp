#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "compute/control_loop_options.h"
#include "compute/gain_table.h"
#include "compute/option_codec.h"
#include "tests/compute/setup_builder.h"

namespace {

using compute_test::kCurrentScale;
using compute_test::PowerStageDrive;
using compute_test::SetupBuilder;
using compute_test::Value;

// The gains held in one mantissa and one shift option; the acceleration feed-forward,
// whose shift is split over two options, has its own cases below.
const std::vector<orvex::GainOptions> kFamilies = [] {
    std::vector<orvex::GainOptions> families;
    for (const orvex::GainOptions& g : orvex::kGainOptions)
        if (!g.high_shift) families.push_back(g);
    return families;
}();

std::unique_ptr<CMC_Setup> Family(const orvex::GainOptions& f, double gain) {
    return SetupBuilder().Real(f.gain, gain).Option(f.mantissa, -7).Option(f.shift, -7).Build();
}

// The codec's numbers are tabled in option_codec_test; here each family's steps reach
// its own options.
TEST(LoopGains, EachFamilyEncodesItsOwnOptionsAndDecodesTheDriveGain) {
    for (const auto& f : kFamilies) {
        auto s = Family(f, 3.0);
        ASSERT_EQ(f.encode_shift(s.get()), 1) << f.shift;
        EXPECT_EQ(Value(*s, f.mantissa), -7) << f.shift << " writes only its own option";
        ASSERT_EQ(f.encode_mantissa(s.get()), 1) << f.mantissa;
        EXPECT_EQ(Value(*s, f.shift), 2) << f.shift;
        EXPECT_DOUBLE_EQ(Value(*s, f.mantissa), 3 * 32767.0 / 4) << f.mantissa;

        s->SetParameterValueInBaseUnit(f.mantissa, 32767);
        s->SetParameterValueInBaseUnit(f.shift, 3);
        ASSERT_EQ(f.read_back(s.get()), 1);
        EXPECT_EQ(Value(*s, f.gain), 8) << f.gain;
        EXPECT_EQ(s->FindParameter(f.gain)->GetMaxInBaseUnit(), 16384) << f.gain;
    }
}

TEST(GainTable, ReencodingWritesEveryOptionOrNoneWhenOneIsMissing) {
    for (const orvex::GainOptions& g : orvex::kGainOptions) {
        SCOPED_TRACE(g.gain);
        SetupBuilder whole;
        whole.Real(g.gain, 37.1).Option(g.mantissa, -7).Option(g.shift, -7);
        if (g.high_shift) whole.Option(g.high_shift, -7);
        auto s = whole.Build();
        ASSERT_EQ(orvex::ReencodeGain(s.get(), g), 1);
        EXPECT_EQ(Value(*s, g.shift), 6);  // 2^5 < 37.1 <= 2^6
        EXPECT_DOUBLE_EQ(Value(*s, g.mantissa), 37.1 * 32767 / 64);
        if (g.high_shift) {
            EXPECT_EQ(Value(*s, g.high_shift), 0);
        }
        EXPECT_NEAR(Value(*s, g.gain), 37.1, 1e-12);

        // Without its shift option no step runs: the gain and the mantissa stay.
        auto partial = SetupBuilder().Real(g.gain, 37.1).Option(g.mantissa, -7).Build();
        EXPECT_EQ(orvex::ReencodeGain(partial.get(), g), 0);
        EXPECT_EQ(Value(*partial, g.mantissa), -7);
        EXPECT_EQ(Value(*partial, g.gain), 37.1);
    }
}

TEST(GainTable, FindsAGainWithoutRegardToCase) {
    const struct {
        const char* name;
        const char* mantissa;  // null: not a gain
    } cases[] = {{"Kp_C_scl", "KPI"},   {"kp_c_SCL", "KPI"},   {"KFFA_SCL", "KFFA"},
                 {"ki_t_scl", "KITHT"}, {"Kp_X_scl", nullptr}, {"KPI", nullptr},
                 {"", nullptr}};
    for (const auto& c : cases) {
        const orvex::GainOptions* g = orvex::FindGainOptions(c.name);
        if (!c.mantissa) {
            EXPECT_EQ(g, nullptr) << c.name;
            continue;
        }
        ASSERT_NE(g, nullptr) << c.name;
        EXPECT_STREQ(g->mantissa, c.mantissa) << c.name;
    }
}

TEST(AccelerationFeedForward, SplitsTheShiftAtEleven) {
    const struct {
        double gain, sftaffw, sftkff, kffa;
    } cases[] = {{32768.0, 11, 4, 32767},
                 {0.5, 0, 0, 32767.0 / 2},
                 {2048.0, 11, 0, 32767},
                 {3000.0, 11, 1, 3000 * 32767.0 / 4096},
                 {4194304.0, 11, 11, 32767}};
    for (const auto& c : cases) {
        auto s = SetupBuilder()
                     .Real("KFFA_scl", c.gain)
                     .Option("SFTAFFW", -1)
                     .Option("SFTKFF", -1)
                     .Option("KFFA", -1)
                     .Build();
        for (orvex::SetupConversion f :
             {orvex::ComputeOption_SFTKFF, orvex::ComputeOption_KFFA, orvex::ComputeOption_SFTAFFW})
            ASSERT_EQ(f(s.get()), 1);
        EXPECT_EQ(Value(*s, "SFTAFFW"), c.sftaffw) << c.gain;
        EXPECT_EQ(Value(*s, "SFTKFF"), c.sftkff) << c.gain;
        EXPECT_DOUBLE_EQ(Value(*s, "KFFA"), c.kffa) << c.gain;
        s->SetParameterValueInBaseUnit("KFFA_scl", 0.25);
        ASSERT_EQ(orvex::ReadBack_KFFA_scl(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "KFFA_scl"), c.gain);
    }
}

std::unique_ptr<CMC_Setup> OutputFilter(double use_filter, double corner_per_s) {
    return PowerStageDrive()
        .Real("isUseFilterOnCrtCtrlOutput", use_filter)
        .Real("FilterOnCurrentControllerOutput", corner_per_s, "1/s")
        .Option("FILTERQ", -5)
        .Build();
}

TEST(CurrentOutputFilter, CoefficientIsTruncatedAndOffReadsBackAsDefault) {
    const struct {
        double use, corner_per_s, filterq;
    } cases[] = {{0, 1000, 32767},
                 {1, 1000, 1598} /* 1598.07 */,
                 {1, 5000, 7248} /* 7248.03 */,
                 {0.5, 1000, 1598} /* any nonzero value is on */,
                 {1, 0, 0}};
    for (const auto& c : cases) {
        auto s = OutputFilter(c.use, c.corner_per_s);
        ASSERT_EQ(orvex::ComputeOption_FILTERQ(s.get()), 1);
        EXPECT_EQ(Value(*s, "FILTERQ"), c.filterq) << c.corner_per_s;
    }
    auto s = OutputFilter(1, 1234);
    s->SetParameterValueInBaseUnit("FILTERQ", 32767);
    ASSERT_EQ(orvex::ReadBack_isUseFilterOnCrtCtrlOutput(s.get()), 1);
    ASSERT_EQ(orvex::ReadBack_FilterOnCurrentControllerOutput(s.get()), 1);
    EXPECT_EQ(Value(*s, "isUseFilterOnCrtCtrlOutput"), 0);
    EXPECT_EQ(Value(*s, "FilterOnCurrentControllerOutput"), 5000);
    EXPECT_EQ(s->FindParameter("FilterOnCurrentControllerOutput")->GetMaxInBaseUnit(), 10000);
    // A stopped clock makes the exponent 0 x inf: the register keeps its value.
    s = OutputFilter(1, 0);
    s->SetParameterValueInBaseUnit("DSP_freq", 0);
    ASSERT_EQ(orvex::ComputeOption_FILTERQ(s.get()), 1);
    EXPECT_EQ(Value(*s, "FILTERQ"), -5);
}

// Regression: -ln(1 - Q / 32767) / T_C can round a hair below the corner that gives Q,
// and the truncating forward conversion then lost one count on every cycle.
TEST(CurrentOutputFilter, RegisterSurvivesEveryForwardAndReadBackCycle) {
    auto s = OutputFilter(1, 0);
    for (int q = 1; q <= 12892; ++q) {  // corners up to the Nyquist frequency
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

std::unique_ptr<CMC_Setup> Saturations(double position_type, double mode, double acr = 0) {
    return PowerStageDrive()
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
    const double k_s = 500e-6 * 4000 / (2 * std::numbers::pi);  // counts per rad/s and sample
    const double current_sat = 32767 - 2 * kCurrentScale;       // 26215
    const struct {
        double position_type, mode, ipsats, imaxs, satp, imaxp;
    } cases[] = {
        {1, 0, 50, 32767 - kCurrentScale, 32767 - 100 * k_s, 32767 - 25 * k_s},  // speed out
        {0, 0, 100, current_sat, current_sat, 32767 - 0.5 * kCurrentScale},
        {1, 1, 0, 32767, current_sat, 32767 - 0.5 * kCurrentScale},
        {1, 2, 50, 32767 - kCurrentScale, current_sat, 32767 - 0.5 * kCurrentScale},
    };
    for (const auto& c : cases) {
        auto s = Saturations(c.position_type, c.mode);
        s->SetParameterValueInBaseUnit("IPSatS", c.ipsats);
        for (orvex::SetupConversion f : {orvex::ComputeOption_IMAXS, orvex::ComputeOption_SATS,
                                         orvex::ComputeOption_IMAXP, orvex::ComputeOption_SATP})
            ASSERT_EQ(f(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "SATS"), current_sat);
        EXPECT_DOUBLE_EQ(Value(*s, "IMAXS"), c.imaxs) << c.ipsats;
        EXPECT_DOUBLE_EQ(Value(*s, "SATP"), c.satp) << c.position_type << " " << c.mode;
        EXPECT_DOUBLE_EQ(Value(*s, "IMAXP"), c.imaxp) << c.position_type << " " << c.mode;
        EXPECT_EQ(s->FindParameter("SATP")->GetMaxInBaseUnit(), 32767);
    }
}

TEST(CurrentLimit, ReadFromTheSaturationOfTheLoopThatLimitsCurrent) {
    const struct {
        double acr, limit_A;
    } cases[] = {{1 << 9, 3.0} /* speed loop closed: SATS */, {0, 1.5}, {0xFDFF, 1.5}};
    for (const auto& c : cases) {
        auto s = Saturations(0, 0, c.acr);
        s->SetParameterValueInBaseUnit("SATS", 32767 - 3.0 * kCurrentScale);
        s->SetParameterValueInBaseUnit("SATP", 32767 - 1.5 * kCurrentScale);
        ASSERT_EQ(orvex::ReadBack_IlimPS(s.get()), 1);
        ASSERT_EQ(orvex::ReadBack_TestLimitCurrent(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(*s, "IlimPS"), c.limit_A) << c.acr;
        EXPECT_DOUBLE_EQ(Value(*s, "TestLimitCurrent"), c.limit_A) << c.acr;
        EXPECT_EQ(s->FindParameter("IlimPS")->GetMaxInBaseUnit(), 8);  // min(ImaxM, ImaxPS)
    }
    auto s = Saturations(0, 0);  // a peak current below 1 mA leaves no range
    s->SetParameterValueInBaseUnit("ImaxM", 0.0005);
    EXPECT_EQ(orvex::ReadBack_IlimPS(s.get()), 0);
    EXPECT_EQ(Value(*s, "IlimPS"), 2);
}

// Forward then read-back gives every parameter back, over many drawn values.
TEST(LoopRoundTrip, ParametersSurviveForwardAndReadBack) {
    std::mt19937 rng(2718);
    auto draw = [&](double lo, double hi) { return std::uniform_real_distribution(lo, hi)(rng); };
    for (int i = 0; i < 300; ++i) {
        const orvex::GainOptions& f = kFamilies[i % kFamilies.size()];
        const double k = std::exp(draw(std::log(1e-4), std::log(16000.0)));
        auto g = Family(f, k);
        f.encode_shift(g.get());
        f.encode_mantissa(g.get());
        ASSERT_EQ(f.read_back(g.get()), 1);
        ASSERT_NEAR(Value(*g, f.gain), k, k * 1e-14) << f.gain;

        const double position_type = i % 2, mode = (i / 2) % 3;
        const bool speed_out = position_type == 1 && mode == 0;
        auto s = Saturations(position_type, mode, speed_out || mode == 1 ? 1 << 9 : 0);
        const double ilim = draw(0.01, 8), ipsats = draw(0, 100), ipsatp = draw(0, 100);
        const double limit_speed = draw(1, 1000);
        s->SetParameterValueInBaseUnit("IlimPS", ilim);
        s->SetParameterValueInBaseUnit("IPSatS", ipsats);
        s->SetParameterValueInBaseUnit("IPSatP", ipsatp);
        s->SetParameterValueInBaseUnit("Limit_Speed", limit_speed);
        for (orvex::SetupConversion c : {orvex::ComputeOption_IMAXS, orvex::ComputeOption_SATS,
                                         orvex::ComputeOption_IMAXP, orvex::ComputeOption_SATP})
            c(s.get());
        for (const char* p : {"IPSatS", "IPSatP", "IlimPS", "Limit_Speed"})
            s->SetParameterValueInBaseUnit(p, 0.5);
        for (orvex::SetupConversion c : {orvex::ReadBack_IPSatS, orvex::ReadBack_IPSatP,
                                         orvex::ReadBack_IlimPS, orvex::ReadBack_Limit_Speed})
            ASSERT_EQ(c(s.get()), 1);
        EXPECT_NEAR(Value(*s, "IPSatS"), ipsats, 1e-9);
        EXPECT_NEAR(Value(*s, "IPSatP"), ipsatp, 1e-9);
        EXPECT_NEAR(Value(*s, "IlimPS"), ilim, 1e-12);
        EXPECT_NEAR(Value(*s, "Limit_Speed"), speed_out ? limit_speed : 0.5, 1e-9);
    }
}

}  // namespace
