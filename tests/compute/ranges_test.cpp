#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "compute/parameter_ranges.h"
#include "compute/units_transmission.h"
#include "tests/compute/setup_builder.h"

namespace {

using std::numbers::pi;

constexpr double kOldMin = -111, kOldMax = 111;  // limits before the update

struct P {
    std::string name;
    double value;
    const char* unit;  // nullptr for an option
};

// A drive with T_S = 500 us (40 MHz clock, PWMPER 1000, SLPER 10) and a rotary load on
// the motor shaft: k_P = 4000 / 2pi counts/rad, k_S = T_S k_P = 1 / pi. Every
// parameter starts with the limits [-111, 111]; `changes` replaces or adds values,
// `omit` leaves names out.
std::unique_ptr<CMC_Setup> Drive(const std::vector<P>& changes = {},
                                 const std::vector<std::string>& omit = {},
                                 bool cadin_variable = true) {
    std::vector<P> ps = {
        {"DSP_freq", 4e7, "Hz"},
        {"PWMPER", 1000, nullptr},
        {"SLPER", 10, nullptr},
        {"MECRESL", 4000, nullptr},
        {"Motor_transmission", 1, ""},
        {"Load_transmission", 1, ""},
        {"ERR_speed", 10, "rad/s"},
        {"ERR_position", 1, "rad"},
        {"time_ERR_spd", 0.1, "s"},
        {"time_ERR_pos", 0.1, "s"},
        {"PB_C", 50, "1/s"},
        {"PB_C_minim", 100, "1/s"},
        {"PB_C_maxim", 20000, "1/s"},
        {"PB_S", 50, "1/s"},
        {"PB_S_minim", 5, "1/s"},
        {"PB_S_maxim", 500, "1/s"},
        {"PB_P", 50, "1/s"},
        {"PB_P_minim", 1, "1/s"},
        {"PB_P_maxim", 100, "1/s"},
        {"TPP", 0.5, "s"},
        {"TNP", 0.5, "s"},
        {"TaPP", 0.2, "s"},
        {"TaNP", 0.1, "s"},
        {"TPS", 0.5, "s"},
        {"TNS", 0.5, "s"},
        {"TaPS", 0.1, "s"},
        {"TaNS", 0.1, "s"},
        {"TestPosition", 100, "rad"},
        {"TestSpeed", 500, "rad/s"},
        {"Limit_Speed", 100, "rad/s"},
        {"CADIN", 1000, nullptr},
        {"filter", 50, "1/s"},
        {"KPTHT", 0, nullptr},
        {"MAX_CURRENT", 1, "A"},
        {"In", 2.8, "A"},
        {"InPS", 5, "A"},
        {"IQREF_BQ_INI", 0, nullptr},
    };
    for (int i = 1; i <= 3; ++i) {
        ps.push_back({"BQFilterF1" + std::to_string(i), 100, "Hz"});
        ps.push_back({"BQFilterF2" + std::to_string(i), 100, "Hz"});
    }
    for (const P& c : changes) ps.push_back(c);  // a later entry replaces an earlier one
    compute_test::SetupBuilder b;
    for (const P& p : ps)
        b.Add(p.unit ? compute_test::Real(p.name, p.value, p.unit, kOldMin, kOldMax)
                     : compute_test::Option32(p.name, p.value, kOldMin, kOldMax));
    b.Without(omit);
    if (cadin_variable) b.Variable("CADIN");
    return b.Build();
}

struct Limits {
    const char* name;
    double min, max;
};

void ExpectLimits(const CMC_Setup& s, const Limits& l, const std::string& what) {
    const CMC_Parameter* p = s.FindParameter(l.name);
    ASSERT_NE(p, nullptr) << l.name;
    EXPECT_NEAR(p->GetMinInBaseUnit(), l.min, 1e-12 * std::abs(l.min)) << what << " " << l.name;
    EXPECT_NEAR(p->GetMaxInBaseUnit(), l.max, 1e-12 * std::abs(l.max)) << what << " " << l.name;
}

TEST(ParameterRanges, EveryDependentLimitOfAFullSetup) {
    auto s = Drive();
    orvex::UpdateParameterRanges(s.get());
    const double T_S = 500e-6;
    const double max_step = 32767 * 2 * pi / 4000;  // load rad at one speed word per sample
    const Limits expected[] = {
        {"ERR_speed", kOldMin, 32767 * pi},
        {"ERR_position", kOldMin, max_step},
        {"time_ERR_spd", kOldMin, 16.3835},
        {"time_ERR_pos", kOldMin, 16.3835},
        {"PB_C", 100, 20000},
        {"PB_S", 5, 500},
        {"PB_P", 1, 100},
        {"TPP", T_S, 32.7675},
        {"TNP", T_S, 32.7675},
        {"TaPP", 2 * T_S, 32.7675},
        {"TaNP", 2 * T_S, 32.7675},
        {"TPS", T_S, 32.7675},
        {"TNS", T_S, 32.7675},
        {"TaPS", T_S, 32.7675},
        {"TaNS", T_S, 32.7675},
        // TaNP (0.1 s, 200 samples) is the shorter acceleration time.
        {"TestPosition", -200 * max_step, 200 * max_step},
        // Limit_Speed (100 rad/s) lies below the speed word's 32767 pi rad/s.
        {"TestSpeed", -100, 100},
        {"filter", kOldMin, 1000},
        {"MAX_CURRENT", 0, 2.8},
        {"BQFilterF11", kOldMin, 1000},
        {"BQFilterF21", kOldMin, 1000},
        {"BQFilterF13", kOldMin, 1000},
        {"BQFilterF23", kOldMin, 1000},
        // Not dependent: untouched.
        {"Limit_Speed", kOldMin, kOldMax},
    };
    for (const auto& l : expected) ExpectLimits(*s, l, "full setup");
    // Only limits change, never values, even when they now lie outside.
    EXPECT_EQ(s->GetParameterValueInBaseUnit("TestSpeed"), 500);
    EXPECT_EQ(s->GetParameterValueInBaseUnit("PB_C"), 50);
}

TEST(ParameterRanges, LimitsFollowLoopPeriodAndScales) {
    struct Case {
        const char* what;
        std::vector<P> changes;
        std::vector<Limits> expected;
    } cases[] = {
        {"slower slow loop",
         {{"SLPER", 20, nullptr}},
         {{"time_ERR_pos", kOldMin, 32.767}, {"TaPP", 2e-3, 65.535}, {"filter", kOldMin, 500}}},
        {"speed word below Limit_Speed",
         {{"Limit_Speed", 1e6, "rad/s"}},
         {{"TestSpeed", -32767 * pi, 32767 * pi}}},
        {"TaPP the shorter",
         {{"TaPP", 0.05, "s"}},
         {{"TestPosition", -100 * 32767 * 2 * pi / 4000, 100 * 32767 * 2 * pi / 4000}}},
        // A reversing transmission of 2 motor rad per load rad: the magnitudes count.
        {"reversing transmission",
         {{"Motor_transmission", -2, ""}},
         {{"ERR_speed", kOldMin, 32767 * pi / 2},
          {"ERR_position", kOldMin, 32767 * pi / 4000},
          {"TestPosition", -200 * 32767 * pi / 4000, 200 * 32767 * pi / 4000}}},
        {"drive peak current below the motor's", {{"InPS", 2, "A"}}, {{"MAX_CURRENT", 0, 2}}},
        // The analogue reference's current ends: 32767 / k_I = 8.19 A, motor peak 3 A.
        {"analogue current reference",
         {{"ImaxPS", 8.19, "A"}, {"ImaxM", 3, "A"}, {"CRT_min", -1, "A"}, {"CRT_max", 2, "A"}},
         {{"CRT_max", -1, 3}, {"CRT_min", -3, 2}, {"filter", kOldMin, 1000}}},
    };
    for (const auto& c : cases) {
        auto s = Drive(c.changes);
        orvex::UpdateParameterRanges(s.get());
        for (const auto& l : c.expected) ExpectLimits(*s, l, c.what);
    }
}

TEST(ParameterRanges, FeatureGatesAndMissingInputs) {
    struct Case {
        const char* what;
        std::vector<std::string> omit;
        bool cadin_variable;
        std::vector<const char*> unchanged;
    } cases[] = {
        {"no analogue reference variable", {}, false, {"filter"}},
        {"no analogue reference parameter", {"CADIN"}, true, {"filter"}},
        {"no electric angle controller", {"KPTHT"}, true, {"MAX_CURRENT"}},
        {"no biquad filters", {"IQREF_BQ_INI"}, true, {"BQFilterF11", "BQFilterF23"}},
        {"bandwidth without its tuning range", {"PB_S_minim"}, true, {"PB_S"}},
        {"test move without an acceleration time", {"TaNP"}, true, {"TestPosition"}},
        {"test speed without Limit_Speed", {"Limit_Speed"}, true, {"TestSpeed"}},
        {"test current without the motor's", {"In"}, true, {"MAX_CURRENT"}},
    };
    for (const auto& c : cases) {
        auto s = Drive({}, c.omit, c.cadin_variable);
        orvex::UpdateParameterRanges(s.get());
        for (const char* name : c.unchanged) ExpectLimits(*s, {name, kOldMin, kOldMax}, c.what);
        // The rest is still done.
        ExpectLimits(*s, {"time_ERR_spd", kOldMin, 16.3835}, c.what);
    }
}

TEST(ParameterRanges, AbsentBandwidthDoesNotLookUpItsRange) {
    auto s = Drive({}, {"PB_C", "PB_C_minim", "PB_C_maxim"});
    testing::internal::CaptureStderr();
    orvex::UpdateParameterRanges(s.get());
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_EQ(reported.find("PB_C"), std::string::npos) << reported;
    EXPECT_EQ(reported, "");
}

TEST(ParameterRanges, ZeroScalesLeaveFiniteLimits) {
    // No encoder resolution and no slow loop: the word limits are infinite or
    // undefined, and the old limits stay.
    auto s = Drive({{"MECRESL", 0, nullptr}, {"SLPER", 0, nullptr}});
    orvex::UpdateParameterRanges(s.get());
    for (const char* name : {"ERR_speed", "ERR_position", "TestPosition", "filter", "BQFilterF12"})
        ExpectLimits(*s, {name, kOldMin, kOldMax}, "zero scales");
    const CMC_Parameters all = s->GetParameters();
    for (int i = 0; i < all.GetParametersCount(); ++i) {
        EXPECT_TRUE(std::isfinite(all[i]->GetMinInBaseUnit())) << all[i]->GetName();
        EXPECT_TRUE(std::isfinite(all[i]->GetMaxInBaseUnit())) << all[i]->GetName();
    }
    // Limit_Speed still bounds the test speed.
    ExpectLimits(*s, {"TestSpeed", -100, 100}, "zero scales");
}

}  // namespace
