#include "simdrive/scenario.h"

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace orvex::sim {
namespace {

using nlohmann::json;

// Reads one object of the scenario: every key must be known; required keys must be
// present. The first problem found is kept with its path.
class ObjectReader {
  public:
    ObjectReader(const json& object, std::string path, std::string& error)
        : object_(object), path_(std::move(path)), error_(error) {}

    void Number(const char* key, double& out, bool required, double min, double max) {
        known_.insert(key);
        if (!error_.empty()) return;
        auto it = object_.find(key);
        if (it == object_.end()) {
            if (required) error_ = path_ + "." + key + ": missing";
            return;
        }
        if (!it->is_number()) {
            error_ = path_ + "." + key + ": not a number";
            return;
        }
        const double value = it->get<double>();
        if (!(value >= min && value <= max)) {
            std::ostringstream text;
            text << path_ << "." << key << ": " << value << " is outside " << min << " to " << max;
            error_ = text.str();
            return;
        }
        out = value;
    }
    void Integer(const char* key, int& out, bool required, int min, int max) {
        double value = out;
        Number(key, value, required, min, max);
        if (error_.empty() && object_.contains(key) && !object_.at(key).is_number_integer())
            error_ = path_ + "." + key + ": not a whole number";
        out = static_cast<int>(value);
    }
    void Bool(const char* key, bool& out, bool required) {
        known_.insert(key);
        if (!error_.empty()) return;
        auto it = object_.find(key);
        if (it == object_.end()) {
            if (required) error_ = path_ + "." + key + ": missing";
            return;
        }
        if (!it->is_boolean()) {
            error_ = path_ + "." + key + ": not true or false";
            return;
        }
        out = it->get<bool>();
    }
    /// Marks a key as read elsewhere (a section, or the format tag).
    void Known(const char* key) { known_.insert(key); }
    /// Refuses keys that no reader asked for, so a typo never means a default.
    void RefuseUnknown() {
        if (!error_.empty()) return;
        for (auto it = object_.begin(); it != object_.end(); ++it) {
            if (!known_.count(it.key())) {
                error_ = path_ + "." + it.key() + ": unknown key";
                return;
            }
        }
    }

  private:
    const json& object_;
    std::string path_;
    std::string& error_;
    std::set<std::string> known_;
};

constexpr double kHuge = 1e12;

bool ReadSection(const json& root, const char* key, bool required, std::string& error,
                 const std::function<void(ObjectReader&)>& read) {
    if (!error.empty()) return false;
    auto it = root.find(key);
    if (it == root.end()) {
        if (required) error = std::string(key) + ": missing";
        return false;
    }
    if (!it->is_object()) {
        error = std::string(key) + ": not an object";
        return false;
    }
    ObjectReader reader(*it, key, error);
    read(reader);
    reader.RefuseUnknown();
    return error.empty();
}

}  // namespace

std::optional<Scenario> ParseScenario(const std::string& json_text, std::string& error) {
    error.clear();
    json root = json::parse(json_text, nullptr, false);
    if (root.is_discarded()) {
        error = "not valid JSON";
        return std::nullopt;
    }
    if (!root.is_object()) {
        error = "the scenario is not a JSON object";
        return std::nullopt;
    }
    Scenario s;
    ObjectReader top(root, "scenario", error);
    {
        auto format = root.find("format");
        if (format == root.end() || !format->is_string() || *format != "orvex-sim-scenario") {
            error = "format: must be \"orvex-sim-scenario\"";
            return std::nullopt;
        }
        int version = 0;
        top.Integer("version", version, true, 1, 1);
        double seed = 1;
        top.Number("seed", seed, true, 0, 9.0e15);
        s.seed = static_cast<std::uint64_t>(seed);
    }
    if (!error.empty()) return std::nullopt;

    ReadSection(root, "motor", true, error, [&](ObjectReader& r) {
        auto& m = s.motor;
        r.Number("phase_resistance_ohm", m.phase_resistance_ohm, true, 1e-3, 1e3);
        r.Number("phase_inductance_H", m.phase_inductance_H, true, 1e-6, 10);
        r.Number("torque_constant_Nm_per_A", m.torque_constant_Nm_per_A, true, 1e-4, 100);
        r.Number("rotor_inertia_kgm2", m.rotor_inertia_kgm2, true, 1e-9, 10);
        r.Integer("full_steps_per_rev", m.full_steps_per_rev, true, 4, 100000);
        r.Number("detent_torque_Nm", m.detent_torque_Nm, true, 0, 100);
        r.Number("viscous_friction_Nm_s_per_rad", m.viscous_friction_Nm_s_per_rad, true, 0, 100);
        r.Number("coulomb_friction_Nm", m.coulomb_friction_Nm, true, 0, 100);
        r.Number("initial_angle_rad", m.initial_angle_rad, false, -kHuge, kHuge);
        if (m.full_steps_per_rev % 4 != 0) {
            error = "motor.full_steps_per_rev: must be a multiple of 4 (two phases)";
        }
    });
    ReadSection(root, "load", true, error, [&](ObjectReader& r) {
        r.Number("inertia_kgm2", s.load.inertia_kgm2, true, 0, 100);
        r.Number("torque_Nm", s.load.torque_Nm, true, -1000, 1000);
    });
    ReadSection(root, "encoder", true, error, [&](ObjectReader& r) {
        r.Integer("lines", s.encoder.lines, true, 1, 1 << 24);
        r.Bool("reversed", s.encoder.reversed, true);
        r.Bool("connected", s.encoder.connected, true);
        r.Number("index_angle_rad", s.encoder.index_angle_rad, true, -kHuge, kHuge);
    });
    ReadSection(root, "drive", true, error, [&](ObjectReader& r) {
        auto& d = s.drive;
        r.Number("bus_voltage_V", d.bus_voltage_V, true, 0.1, 2000);
        r.Number("peak_current_A", d.peak_current_A, true, 1e-3, 1e4);
        r.Number("adc_max", d.adc_max, true, 16, 4.3e9);
        r.Number("max_measurable_bus_V", d.max_measurable_bus_V, true, 0.1, 1e4);
        r.Number("dead_time_drop_V", d.dead_time_drop_V, true, 0, 100);
        r.Number("current_noise_counts", d.current_noise_counts, true, 0, 1e4);
        r.Number("cpu_clock_Hz", d.cpu_clock_Hz, false, 1e6, 1e10);
    });
    ReadSection(root, "analogue_input", false, error, [&](ObjectReader& r) {
        auto& a = s.analogue_input;
        r.Number("min_V", a.min_V, true, -kHuge, kHuge);
        r.Number("max_V", a.max_V, true, -kHuge, kHuge);
        r.Number("period_s", a.period_s, true, 1e-3, 1e6);
        r.Number("span_min_V", a.span_min_V, false, -kHuge, kHuge);
        r.Number("span_max_V", a.span_max_V, false, -kHuge, kHuge);
        if (error.empty() && !(a.span_max_V > a.span_min_V))
            error = "analogue_input: span_max_V must be above span_min_V";
    });
    ReadSection(root, "operator", false, error, [&](ObjectReader& r) {
        r.Number("hand_turn_amplitude_rev", s.hand.hand_turn_amplitude_rev, true, 0, 1e3);
        r.Number("hand_turn_period_s", s.hand.hand_turn_period_s, true, 1e-2, 1e4);
    });
    ReadSection(root, "faults", false, error, [&](ObjectReader& r) {
        auto& f = s.faults;
        r.Bool("phase_a_open", f.phase_a_open, false);
        r.Bool("phase_b_open", f.phase_b_open, false);
        r.Bool("short_circuit", f.short_circuit, false);
        r.Bool("enable_inactive", f.enable_inactive, false);
        r.Bool("positive_limit_active", f.positive_limit_active, false);
        r.Bool("negative_limit_active", f.negative_limit_active, false);
        r.Bool("brake_locked", f.brake_locked, false);
    });
    if (!error.empty()) return std::nullopt;
    for (const char* key :
         {"motor", "load", "encoder", "drive", "analogue_input", "operator", "faults", "format"}) {
        top.Known(key);
    }
    top.RefuseUnknown();
    if (!error.empty()) {
        error = error.substr(std::string("scenario.").size());
        return std::nullopt;
    }
    return s;
}

std::optional<Scenario> LoadScenarioFile(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    auto scenario = ParseScenario(text.str(), error);
    if (!scenario) error = path + ": " + error;
    return scenario;
}

}  // namespace orvex::sim
