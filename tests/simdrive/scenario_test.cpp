// Scenario files: strict reading, clear errors, the shipped benches.

#include "simdrive/scenario.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>

#include "bench.h"
#include "simdrive/registers.h"

namespace orvex::sim {
namespace {

nlohmann::json DefaultJson() {
    std::string error;
    std::ifstream in(std::string(ORVEX_RESOURCE_DIR) + "/sim/default.json");
    return nlohmann::json::parse(in);
}

TEST(Scenario, ShippedBenchesLoadWithTheirFault) {
    struct Case {
        const char* file;
        bool FaultParams::*fault;
    } cases[] = {{"phase_b_open.json", &FaultParams::phase_b_open},
                 {"enable_inactive.json", &FaultParams::enable_inactive},
                 {"short_circuit.json", &FaultParams::short_circuit}};
    for (const Case& c : cases)
        EXPECT_TRUE(testing::LoadScenario(c.file).faults.*(c.fault)) << c.file;
    EXPECT_TRUE(testing::LoadScenario("encoder_reversed.json").encoder.reversed);
    EXPECT_FALSE(testing::LoadScenario("encoder_disconnected.json").encoder.connected);
    const Scenario d = testing::LoadScenario();
    EXPECT_FALSE(d.faults.phase_a_open || d.faults.phase_b_open || d.faults.short_circuit ||
                 d.faults.enable_inactive || d.faults.brake_locked);
    EXPECT_EQ(d.encoder.lines, 1000);
}

TEST(Scenario, RefusesWhatWouldSilentlyMeanADefault) {
    struct Case {
        std::function<void(nlohmann::json&)> edit;
        std::string error;
    } cases[] = {
        {[](nlohmann::json& j) { j["motor"]["phase_resistence_ohm"] = 1.0; },
         "motor.phase_resistence_ohm: unknown key"},
        {[](nlohmann::json& j) { j["motor"].erase("phase_inductance_H"); },
         "motor.phase_inductance_H: missing"},
        {[](nlohmann::json& j) { j["encoder"]["lines"] = "1000"; }, "encoder.lines: not a number"},
        {[](nlohmann::json& j) { j["encoder"]["lines"] = 1000.5; },
         "encoder.lines: not a whole number"},
        {[](nlohmann::json& j) { j["encoder"]["reversed"] = 0; },
         "encoder.reversed: not true or false"},
        {[](nlohmann::json& j) { j["drive"]["bus_voltage_V"] = -5; },
         "drive.bus_voltage_V: -5 is outside 0.1 to 2000"},
        {[](nlohmann::json& j) {
             j["faults"] = {{"phase_c_open", true}};
         },
         "faults.phase_c_open: unknown key"},
        {[](nlohmann::json& j) { j.erase("load"); }, "load: missing"},
        {[](nlohmann::json& j) { j["extra"] = 1; }, "extra: unknown key"},
        {[](nlohmann::json& j) { j["format"] = "something-else"; },
         "format: must be \"orvex-sim-scenario\""},
        {[](nlohmann::json& j) { j["motor"]["full_steps_per_rev"] = 202; },
         "motor.full_steps_per_rev: must be a multiple of 4 (two phases)"},
    };
    for (const Case& c : cases) {
        nlohmann::json j = DefaultJson();
        c.edit(j);
        std::string error;
        EXPECT_FALSE(ParseScenario(j.dump(), error).has_value()) << c.error;
        EXPECT_EQ(error, c.error);
    }
    std::string error;
    EXPECT_FALSE(ParseScenario("{ not json", error));
    EXPECT_EQ(error.rfind("line 1, column 4: not valid JSON (", 0), 0u) << error;
}

TEST(Scenario, RefusesDuplicateKeysFractionalSeedsAndDeepNesting) {
    const std::string good = DefaultJson().dump(1);
    auto with = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        // The parser alone would keep the second value without a word.
        {with("\"load\": {", "\"load\": {\n\"inertia_kgm2\": 5,"),
         "duplicate key \"inertia_kgm2\""},
        {with("\"seed\": ", "\"seed\": 0.5, \"x\": "), "seed: not a whole number"},
        {with("\"drive\": {", "\"drive\": {\"deep\": " + std::string(100000, '[') + "], "),
         "nested deeper than 16 levels"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseScenario(c.text, error).has_value()) << c.error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

TEST(Scenario, OptionalSectionsTakeTheirDefaults) {
    nlohmann::json j = DefaultJson();
    j.erase("operator");
    j.erase("analogue_input");
    j.erase("faults");
    std::string error;
    auto s = ParseScenario(j.dump(), error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->hand.hand_turn_amplitude_rev, 0.0);
    EXPECT_EQ(s->analogue_input.min_V, 0.0);
    EXPECT_FALSE(s->faults.short_circuit);
}

TEST(Registers, DecodeAsTheFirmwareDoes) {
    RegisterImage r;
    r.Write("KPI", 3 * 32767.0 / 4, 16);  // gain 3: mantissa 3/4 full scale, shift 2
    r.Write("SFTKPI", 2, 16);
    r.Write("sats", 32767 - 12285, 16);  // names are case-insensitive
    r.Write("KFFA", 32767, 16);          // 2^15 split over two shift registers
    r.Write("SFTAFFW", 11, 16);
    r.Write("SFTKFF", 4, 16);
    r.Write("TERRMAX", 65535, 16);
    r.Write("BIG", 70000, 16);  // beyond 16 bits wraps
    r.Write("NEG", -5.7, 16);   // truncated toward zero
    const DriveSettings s = DriveSettings::FromRegisters(r);
    EXPECT_NEAR(s.kp_current, 3.0, 1e-4);
    EXPECT_DOUBLE_EQ(s.speed_out_limit, 12285);
    EXPECT_DOUBLE_EQ(s.kff_accel, 32768.0);
    EXPECT_EQ(s.position_error_samples, 65535);
    EXPECT_EQ(r.Read("BIG"), 70000 - 65536);
    EXPECT_EQ(r.Read("NEG"), -5);
    EXPECT_EQ(s.pwm_period_ticks, 1000);  // power-up default
    EXPECT_DOUBLE_EQ(DecodeGain(32767, 3), 8.0);
    // The high-resolution speed estimator is the one pattern 110 of SCR bits 5..3.
    EXPECT_FALSE(s.speed_estimator);
    for (const auto& [scr, on] : {std::pair{0x30 | 0x41, true}, {0x38, false}, {0x10, false}}) {
        r.Write("SCR", scr, 16);
        EXPECT_EQ(DriveSettings::FromRegisters(r).speed_estimator, on) << scr;
    }
}

}  // namespace
}  // namespace orvex::sim
