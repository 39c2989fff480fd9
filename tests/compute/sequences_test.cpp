// The two sequences over whole setups: they settle, keep every value finite and
// within its range, give the drive exactly the gains the editor shows, and skip a
// missing feature without touching anything else.

#include "compute/sequences.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "compute/gain_table.h"
#include "compute/option_codec.h"
#include "compute/units_transmission.h"
#include "host/setup/setup_file.h"
#include "tests/support/file_text.h"

namespace {

std::string ShippedText(const char* name) {
    return orvex_test::ReadFileText(std::string(ORVEX_RESOURCE_DIR) + "/setups/" + name);
}

std::unique_ptr<CMC_Setup> Parse(const std::string& text) {
    auto r = axis::ParseSetup(text);
    EXPECT_TRUE(r.ok()) << r.error;
    orvex::InstallScaleProvider(r.setup.get());
    return std::move(r.setup);
}

void RoundTrip(CMC_Setup* s) {
    orvex::ComputeOptionsFromParameters(s);
    orvex::ReadBackParametersFromOptions(s);
}

std::map<std::string, double> Values(const CMC_Setup& s) {
    std::map<std::string, double> v;
    const CMC_Parameters p = s.GetParameters();
    for (int i = 0; i < p.GetParametersCount(); ++i)
        v[p[i]->GetName()] = p[i]->GetValueInBaseUnit();
    return v;
}

// Parameters the user edits directly; the others follow from options or timing.
bool IsUserValue(const CMC_Parameter* p) {
    return !p->IsOption() && p->GetType() == kTypeReal &&
           p->GetMinInBaseUnit() < p->GetMaxInBaseUnit();
}

// Values the user enters whose limits follow timing and scaling: the range update
// moves their limits without moving them (the dialogs bring them back in range).
bool RangeMovesUnderTheValue(const std::string& name) {
    static const std::set<std::string> kNames = {
        "TestSpeed", "TestPosition", "TPS",  "TNS",  "TaPS", "TaNS", "TPP",
        "TNP",       "TaPP",         "TaNP", "PB_C", "PB_S", "PB_P", "MAX_CURRENT"};
    return kNames.count(name) || name.rfind("BQFilterF", 0) == 0;
}

void CheckSettled(CMC_Setup* s, const std::string& label) {
    // Every value finite and, where the range is ordered, within it.
    const CMC_Parameters params = s->GetParameters();
    for (int i = 0; i < params.GetParametersCount(); ++i) {
        const CMC_Parameter* p = params[i];
        ASSERT_TRUE(std::isfinite(p->GetValueInBaseUnit())) << label << " " << p->GetName();
        ASSERT_TRUE(std::isfinite(p->GetMinInBaseUnit())) << label << " " << p->GetName();
        ASSERT_TRUE(std::isfinite(p->GetMaxInBaseUnit())) << label << " " << p->GetName();
        if (p->GetMinInBaseUnit() <= p->GetMaxInBaseUnit() &&
            !RangeMovesUnderTheValue(p->GetName())) {
            EXPECT_GE(p->GetValueInBaseUnit(), p->GetMinInBaseUnit())
                << label << " " << p->GetName();
            EXPECT_LE(p->GetValueInBaseUnit(), p->GetMaxInBaseUnit())
                << label << " " << p->GetName();
        }
    }
    // The editor shows exactly the gain the drive will use.
    for (const auto& g : orvex::kGainOptions) {
        if (!orvex::Probe(s, {g.gain, g.mantissa, g.shift})) continue;
        double shift = s->GetParameterValueInBaseUnit(g.shift);
        if (g.high_shift) {
            if (!orvex::Probe(s, {g.high_shift})) continue;
            shift += s->GetParameterValueInBaseUnit(g.high_shift);
        }
        EXPECT_EQ(s->GetParameterValueInBaseUnit(g.gain),
                  orvex::DecodeGain(s->GetParameterValueInBaseUnit(g.mantissa), shift))
            << label << " " << g.gain;
    }
    // The current controller saturates where the PWM does; two registers are fixed.
    EXPECT_EQ(s->GetParameterValueInBaseUnit("SATID"), s->GetParameterValueInBaseUnit("SATPWM"))
        << label;
    EXPECT_EQ(s->GetParameterValueInBaseUnit("SATIQ"), s->GetParameterValueInBaseUnit("SATPWM"))
        << label;
    EXPECT_EQ(s->GetParameterValueInBaseUnit("T1MAXPROT"), 32767) << label;
    EXPECT_EQ(s->GetParameterValueInBaseUnit("KFFL"), 32767) << label;
    // A second pass changes no register and no parameter beyond rounding: a
    // truncated register never drifts by a count.
    const auto before = Values(*s);
    RoundTrip(s);
    const auto after = Values(*s);
    for (int i = 0; i < params.GetParametersCount(); ++i) {
        const CMC_Parameter* p = params[i];
        const double a = before.at(p->GetName()), b = after.at(p->GetName());
        if (p->IsOption())
            EXPECT_EQ(orvex::TruncToInt32(a), orvex::TruncToInt32(b))
                << label << " " << p->GetName();
        else
            EXPECT_NEAR(a, b, 1e-9 * std::max(1.0, std::abs(a))) << label << " " << p->GetName();
    }
}

TEST(Sequences, ShippedSetupsSettleAndReportNothingMissing) {
    for (const char* name : {"demo.json", "minimal.json"}) {
        auto s = Parse(ShippedText(name));
        testing::internal::CaptureStderr();
        RoundTrip(s.get());
        orvex::ComputeAllOptions(s.get());
        // Every name a step needs outside a gate is there; the host reports none.
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << name;
        CheckSettled(s.get(), name);
    }
}

// Many valid setups derived from the demo: each user value redrawn within its range
// with some probability.
TEST(Sequences, RandomSetupsSettleWithinRangeAndFinite) {
    const std::string demo = ShippedText("demo.json");
    std::mt19937 rng(20261206);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 60; ++trial) {
        auto s = Parse(demo);
        const CMC_Parameters params = s->GetParameters();
        for (int i = 0; i < params.GetParametersCount(); ++i) {
            CMC_Parameter* p = params[i];
            if (!IsUserValue(p) || unit(rng) > 0.3) continue;
            const double lo = p->GetMinInBaseUnit(), hi = p->GetMaxInBaseUnit();
            // Log-uniform over positive ranges, so small and large values both occur.
            const double v =
                (lo > 0) ? lo * std::pow(hi / lo, unit(rng)) : lo + (hi - lo) * unit(rng);
            p->SetValueInBaseUnit(v);
        }
        testing::internal::CaptureStderr();
        RoundTrip(s.get());
        orvex::ComputeAllOptions(s.get());
        RoundTrip(s.get());
        testing::internal::GetCapturedStderr();
        CheckSettled(s.get(), "trial " + std::to_string(trial));
        if (HasFatalFailure()) return;
    }
}

// A setup with a zero where a divisor belongs never ends with NaN or infinity.
TEST(Sequences, ZeroDivisorsNeverReachAValue) {
    const std::string demo = ShippedText("demo.json");
    for (const char* name : {"PWM_freq", "Vdc", "ImaxPS", "Load_transmission", "VdcMaxMeasurable",
                             "DSP_freq", "Motor_transmission", "No_encoder_lines"}) {
        nlohmann::ordered_json j = nlohmann::ordered_json::parse(demo);
        for (auto& p : j["parameters"])
            if (p["name"] == name) {
                p["value"] = 0.0;
                p["min"] = std::min(0.0, p["min"].get<double>());
            }
        auto s = Parse(j.dump());
        testing::internal::CaptureStderr();
        RoundTrip(s.get());
        orvex::ComputeAllOptions(s.get());
        testing::internal::GetCapturedStderr();
        const CMC_Parameters params = s->GetParameters();
        for (int i = 0; i < params.GetParametersCount(); ++i) {
            const CMC_Parameter* p = params[i];
            EXPECT_TRUE(std::isfinite(p->GetValueInBaseUnit()) &&
                        std::isfinite(p->GetMinInBaseUnit()) &&
                        std::isfinite(p->GetMaxInBaseUnit()))
                << "zero " << name << ": " << p->GetName();
        }
    }
}

// Removing a feature's gate names skips exactly that feature's steps in both
// directions: its own values stay as they were, everything else comes out as with
// the feature. An input of the feature is moved first, so skipping shows.
TEST(Sequences, MissingFeatureIsSkippedAndNothingElseChanges) {
    struct Case {
        std::vector<std::string> remove;  // the gate's names
        std::string moved;                // an input of the feature, moved within its range
        std::vector<std::string> kept;    // what the feature's steps would have written
    } cases[] = {
        {{"isSWLS"}, "Negative_SWLS", {"SWNEGLS", "SWPOSLS", "Negative_SWLS", "Positive_SWLS"}},
        // The gate register is the phase advance's only output: nothing else to see.
        {{"THT_CORRECTION"}, "", {"PhaseAdvance_speed"}},
        {{"KPTHT"}, "Kp_T_scl", {"SFTKPTHT", "SFTKITHT", "KITHT", "Kp_T_scl", "Ki_T_scl"}},
        {{"POSOKLIM_FC"},
         "",
         {"TONPOSOK_FC", "isFreezeControl", "FreezeControl_errband", "FreezeControl_time"}},
        {{"IQREF_BQ_INI"},
         "BQFilterF11",
         {"SPDREF_BQ_INI", "ASPD_BQ_INI", "BQ1B0", "BQ1B1", "BQ1B2", "BQ1A1", "BQ1A2",
          "BQ1SF",         "BQ2B0",       "BQ2B1", "BQ2B2", "BQ2A1", "BQ2A2", "BQ2SF",
          "BQ3B0",         "BQ3B1",       "BQ3B2", "BQ3A1", "BQ3A2", "BQ3SF"}},
        {{"TRANSMISSION"}, "", {}},
        {{"ABSTART_MINMOVE"}, "", {}},
        {{"StartMode"}, "", {}},
        {{"save_CAN_baudrate"}, "", {"LSS_Active", "save_axis_id"}},
    };
    const std::string demo = ShippedText("demo.json");
    for (const auto& c : cases) {
        nlohmann::ordered_json j = nlohmann::ordered_json::parse(demo);
        auto& list = j["parameters"];
        for (auto& p : list)
            if (p["name"] == c.moved)
                p["value"] = p["min"].get<double>() +
                             0.37 * (p["max"].get<double>() - p["min"].get<double>());
        auto full = Parse(j.dump());
        for (auto it = list.begin(); it != list.end();)
            it = std::count(c.remove.begin(), c.remove.end(), (*it)["name"].get<std::string>())
                     ? list.erase(it)
                     : it + 1;
        auto without = Parse(j.dump());
        const auto before = Values(*without);
        testing::internal::CaptureStderr();
        RoundTrip(full.get());
        RoundTrip(without.get());
        testing::internal::GetCapturedStderr();
        const auto with_feature = Values(*full);
        bool moved_something = c.moved.empty();
        for (const auto& [name, value] : Values(*without)) {
            const bool kept = std::count(c.kept.begin(), c.kept.end(), name) > 0;
            const double expected = kept ? before.at(name) : with_feature.at(name);
            EXPECT_NEAR(value, expected, 1e-9 * std::max(1.0, std::abs(expected)))
                << "without " << c.remove[0] << ": " << name;
            moved_something =
                moved_something || (kept && std::abs(with_feature.at(name) - expected) > 1e-9);
        }
        EXPECT_TRUE(moved_something) << "moving " << c.moved << " changed nothing of its feature";
    }
}

}  // namespace
