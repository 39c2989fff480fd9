#include "simdrive/scenario.h"

#include "util/json/json_reader.h"

namespace orvex::sim {
namespace {

using json::ObjectReader;

constexpr double kHuge = 1e12;

// Reads an optional or required section with its own reader; unknown keys in it
// are refused, so a misspelt name never silently means a default.
template <typename Read>
void ReadSection(ObjectReader& top, const char* key, ObjectReader::Need need, json::Fault& fault,
                 Read read) {
    const json::Value* section = top.Object(key, need);
    if (!section || fault) return;
    ObjectReader r(*section, top.At(key), fault);
    read(r);
    r.RefuseUnknown();
}

void Read(double& out, std::optional<double> value) {
    if (value) out = *value;
}
void Read(int& out, std::optional<std::int64_t> value) {
    if (value) out = static_cast<int>(*value);
}
void Read(bool& out, std::optional<bool> value) {
    if (value) out = *value;
}

}  // namespace

std::optional<Scenario> ParseScenario(const std::string& json_text, std::string& error) {
    error.clear();
    json::Document doc = json::Parse(json_text);
    if (!doc.ok()) {
        error = doc.error;
        return std::nullopt;
    }
    if (!doc.value.is_object()) {
        error = "the scenario is not a JSON object";
        return std::nullopt;
    }
    Scenario s;
    json::Fault fault;
    ObjectReader top(doc.value, json::Place(), fault);
    const auto format = top.Text("format", ObjectReader::kOptional);
    if (fault || format != "orvex-sim-scenario") {
        error = "format: must be \"orvex-sim-scenario\"";
        return std::nullopt;
    }
    top.Whole("version", 1, 1);
    // The seed picks the noise sequence; a fractional seed would be cut without a word.
    if (const auto seed = top.Whole("seed", 0, 9'000'000'000'000'000))
        s.seed = static_cast<std::uint64_t>(*seed);

    constexpr auto kRequired = ObjectReader::kRequired;
    constexpr auto kOptional = ObjectReader::kOptional;
    ReadSection(top, "motor", kRequired, fault, [&](ObjectReader& r) {
        auto& m = s.motor;
        Read(m.phase_resistance_ohm, r.Number("phase_resistance_ohm", 1e-3, 1e3));
        Read(m.phase_inductance_H, r.Number("phase_inductance_H", 1e-6, 10));
        Read(m.torque_constant_Nm_per_A, r.Number("torque_constant_Nm_per_A", 1e-4, 100));
        Read(m.rotor_inertia_kgm2, r.Number("rotor_inertia_kgm2", 1e-9, 10));
        Read(m.full_steps_per_rev, r.Whole("full_steps_per_rev", 4, 100000));
        Read(m.detent_torque_Nm, r.Number("detent_torque_Nm", 0, 100));
        Read(m.viscous_friction_Nm_s_per_rad, r.Number("viscous_friction_Nm_s_per_rad", 0, 100));
        Read(m.coulomb_friction_Nm, r.Number("coulomb_friction_Nm", 0, 100));
        Read(m.initial_angle_rad, r.Number("initial_angle_rad", -kHuge, kHuge, kOptional));
        if (!fault && m.full_steps_per_rev % 4 != 0)
            fault.Set(r.At("full_steps_per_rev"), "must be a multiple of 4 (two phases)");
    });
    ReadSection(top, "load", kRequired, fault, [&](ObjectReader& r) {
        Read(s.load.inertia_kgm2, r.Number("inertia_kgm2", 0, 100));
        Read(s.load.torque_Nm, r.Number("torque_Nm", -1000, 1000));
    });
    ReadSection(top, "encoder", kRequired, fault, [&](ObjectReader& r) {
        Read(s.encoder.lines, r.Whole("lines", 1, 1 << 24));
        Read(s.encoder.reversed, r.Bool("reversed"));
        Read(s.encoder.connected, r.Bool("connected"));
        Read(s.encoder.index_angle_rad, r.Number("index_angle_rad", -kHuge, kHuge));
    });
    ReadSection(top, "drive", kRequired, fault, [&](ObjectReader& r) {
        auto& d = s.drive;
        Read(d.bus_voltage_V, r.Number("bus_voltage_V", 0.1, 2000));
        Read(d.peak_current_A, r.Number("peak_current_A", 1e-3, 1e4));
        Read(d.adc_max, r.Number("adc_max", 16, 4.3e9));
        Read(d.max_measurable_bus_V, r.Number("max_measurable_bus_V", 0.1, 1e4));
        Read(d.dead_time_drop_V, r.Number("dead_time_drop_V", 0, 100));
        Read(d.current_noise_counts, r.Number("current_noise_counts", 0, 1e4));
        Read(d.cpu_clock_Hz, r.Number("cpu_clock_Hz", 1e6, 1e10, kOptional));
    });
    ReadSection(top, "analogue_input", kOptional, fault, [&](ObjectReader& r) {
        auto& a = s.analogue_input;
        Read(a.min_V, r.Number("min_V", -kHuge, kHuge));
        Read(a.max_V, r.Number("max_V", -kHuge, kHuge));
        Read(a.period_s, r.Number("period_s", 1e-3, 1e6));
        Read(a.span_min_V, r.Number("span_min_V", -kHuge, kHuge, kOptional));
        Read(a.span_max_V, r.Number("span_max_V", -kHuge, kHuge, kOptional));
        if (!fault && !(a.span_max_V > a.span_min_V))
            fault.Set(json::Place(), "analogue_input: span_max_V must be above span_min_V");
    });
    ReadSection(top, "operator", kOptional, fault, [&](ObjectReader& r) {
        Read(s.hand.hand_turn_amplitude_rev, r.Number("hand_turn_amplitude_rev", 0, 1e3));
        Read(s.hand.hand_turn_period_s, r.Number("hand_turn_period_s", 1e-2, 1e4));
    });
    ReadSection(top, "faults", kOptional, fault, [&](ObjectReader& r) {
        auto& f = s.faults;
        Read(f.phase_a_open, r.Bool("phase_a_open", kOptional));
        Read(f.phase_b_open, r.Bool("phase_b_open", kOptional));
        Read(f.short_circuit, r.Bool("short_circuit", kOptional));
        Read(f.enable_inactive, r.Bool("enable_inactive", kOptional));
        Read(f.positive_limit_active, r.Bool("positive_limit_active", kOptional));
        Read(f.negative_limit_active, r.Bool("negative_limit_active", kOptional));
        Read(f.brake_locked, r.Bool("brake_locked", kOptional));
    });
    top.RefuseUnknown();
    if (fault) {
        error = fault.Text();
        return std::nullopt;
    }
    return s;
}

std::optional<Scenario> LoadScenarioFile(const std::string& path, std::string& error) {
    std::string text;
    if (!json::ReadFileText(path, text, error)) {
        error = path + ": cannot be read: " + error;
        return std::nullopt;
    }
    auto scenario = ParseScenario(text, error);
    if (!scenario) error = path + ": " + error;
    return scenario;
}

}  // namespace orvex::sim
