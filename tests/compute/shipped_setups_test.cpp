// The shipped setups as data: each is already exactly what the module makes of it (a
// fixed point of the option computation, to the last digit), the demo carries every optional
// feature and the minimal setup none, and the demo's gains are the ones its bandwidths design.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "compute/analogue_reference.h"
#include "compute/gain_design.h"
#include "compute/option_codec.h"
#include "compute/sequences.h"
#include "host/setup/setup_file.h"
#include "tests/support/shipped_setup.h"

namespace shipped_setups_test {
namespace {

using orvex_test::LoadShippedSetup;

// Everything the file stores about a parameter.
struct Stored {
    double value, min, max;
    std::string unit;
};

Stored Read(const CMC_Parameter& p) {
    return {p.GetValueInBaseUnit(), p.GetMinInBaseUnit(), p.GetMaxInBaseUnit(), p.GetUnitName()};
}

TEST(ShippedSetups, AreAFixedPointOfTheOptionComputation) {
    for (const char* name : {"demo.json", "minimal.json"}) {
        auto s = LoadShippedSetup(name);
        ASSERT_TRUE(s);
        std::vector<Stored> before;
        const CMC_Parameters params = s->GetParameters();
        for (int i = 0; i < params.GetParametersCount(); ++i) before.push_back(Read(*params[i]));

        // What the editor does on OK and the host on loading.
        orvex::ComputeOptionsFromParameters(s.get());
        orvex::ReadBackParametersFromOptions(s.get());
        orvex::ComputeAllOptions(s.get());

        // Exactly: the files say what the user wrote, and a save writes no rounding noise.
        for (int i = 0; i < params.GetParametersCount(); ++i) {
            const Stored after = Read(*params[i]);
            const std::string where = std::string(name) + " " + params[i]->GetName();
            EXPECT_EQ(before[i].value, after.value) << where << " value";
            EXPECT_EQ(before[i].min, after.min) << where << " min";
            EXPECT_EQ(before[i].max, after.max) << where << " max";
            EXPECT_EQ(before[i].unit, after.unit) << where;
        }
    }
}

// The names whose presence switches a feature on.
const std::vector<std::vector<const char*>> kFeatureNames = {{"isSWLS"},
                                                             {"isSpeedEstimator"},
                                                             {"save_CAN_baudrate", "save_axis_id"},
                                                             {"THT_CORRECTION"},
                                                             {"ReverseCounting"},
                                                             {"isFilterEnc", "FilterEncValue"},
                                                             {"BRAKECFG", "isMotorBrake"},
                                                             {"SpeedForward"},
                                                             {"POSOKLIM_FC", "TONPOSOK_FC"},
                                                             {"InputsPolarityType"},
                                                             {"KPTHT"},
                                                             {"StartMode"},
                                                             {"II2TWARLIM_D", "I2TWARLIM_M"},
                                                             {"TRANSMISSION"},
                                                             {"ABSTART_MINMOVE"},
                                                             {"IQREF_BQ_INI"},
                                                             {"PosSpd_in_FastLoop"},
                                                             {"Ts_C_min"},
                                                             {"Ts_S_min"},
                                                             {"SpeedTestReferenceType"},
                                                             {"AquisitionsNo", "SamplingRate"}};

bool HasAll(const CMC_Setup* s, const std::vector<const char*>& names) {
    axis::ScopedSilentLookup silent;
    for (const char* n : names)
        if (!s->FindParameter(n)) return false;
    return true;
}

bool HasAny(const CMC_Setup* s, const std::vector<const char*>& names) {
    axis::ScopedSilentLookup silent;
    for (const char* n : names)
        if (s->FindParameter(n)) return true;
    return false;
}

TEST(ShippedSetups, DemoHasEveryFeatureAndMinimalNone) {
    auto demo = LoadShippedSetup("demo.json");
    auto minimal = LoadShippedSetup("minimal.json");
    ASSERT_TRUE(demo && minimal);
    for (const auto& names : kFeatureNames) {
        EXPECT_TRUE(HasAll(demo.get(), names)) << names.front();
        EXPECT_FALSE(HasAny(minimal.get(), names)) << names.front();
    }
    EXPECT_TRUE(orvex::HasAnalogueReference(demo.get()));
    EXPECT_FALSE(orvex::HasAnalogueReference(minimal.get()));
    EXPECT_EQ(demo->GetIntOption("hasOscilloscope"), 1);
    EXPECT_EQ(minimal->GetIntOption("hasOscilloscope"), 0);
    EXPECT_GT(demo->GetNumberOfBrakeOutputs(), 0);
}

// The stored gains were rounded to a few digits after the design: "Tune" with the
// stored bandwidths and dampings gives them back within that rounding.
TEST(ShippedSetups, GainsAreTheDesignOfTheStoredBandwidths) {
    auto s = LoadShippedSetup("demo.json");
    ASSERT_TRUE(s);
    const char* gains[] = {"Kp_C_scl", "Ki_C_scl", "Kp_S_scl", "Ki_S_scl",
                           "Kp_P_scl", "Ki_P_scl", "Kd_P_scl"};
    std::vector<double> stored;
    for (const char* g : gains) stored.push_back(s->GetParameterValueInBaseUnit(g));
    ASSERT_EQ(orvex::DesignCurrentControllerGains(s.get()), 1);
    ASSERT_EQ(orvex::DesignSpeedControllerGains(s.get()), 1);
    ASSERT_EQ(orvex::DesignPositionControllerGains(s.get()), 1);
    for (size_t i = 0; i < stored.size(); ++i) {
        const double designed = s->GetParameterValueInBaseUnit(gains[i]);
        EXPECT_NEAR(stored[i], designed, 1e-4 * std::max(std::abs(designed), 1e-3)) << gains[i];
    }
}

}  // namespace
}  // namespace shipped_setups_test
