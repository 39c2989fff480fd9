#pragma once
// The one way the compute tests make a setup: parameters, settings, variables and brake
// outputs collected here, written as a setup document and read by the host's own loader,
// so that a test setup goes through the same checks as a real file.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "host/setup/setup_file.h"

namespace compute_test {

/// Limits wide enough for any 32-bit register value, so that a test sees exactly what a
/// conversion wrote.
inline constexpr double kWideLimit = 4294967296.0;

/// One parameter of a test setup. `type` is the setup file's type name; `unit` the base
/// unit ("" for none; options never have one).
struct Param {
    std::string name;
    double value = 0;
    std::string unit;
    std::string type = "real";
    double min = -kWideLimit;
    double max = kWideLimit;
};

inline Param Real(std::string name, double value, std::string unit = "", double min = -kWideLimit,
                  double max = kWideLimit) {
    return {std::move(name), value, std::move(unit), "real", min, max};
}
/// A 16-bit drive register, 0 to 65535 unless given.
inline Param Option16(std::string name, double value, double min = 0, double max = 65535) {
    return {std::move(name), value, "", "option16", min, max};
}
/// A 32-bit drive register, signed range unless given.
inline Param Option32(std::string name, double value, double min = -2147483648.0,
                      double max = 2147483647.0) {
    return {std::move(name), value, "", "option32", min, max};
}
inline Param Integer(std::string name, double value, double min, double max) {
    return {std::move(name), value, "", "integer", min, max};
}
inline Param Switch(std::string name, double value) {
    return {std::move(name), value, "", "switch", 0, 1};
}
inline Param Choice(std::string name, double value, double min, double max) {
    return {std::move(name), value, "", "choice", min, max};
}

/// Values by name, for tables of cases.
using Inputs = std::vector<std::pair<const char*, double>>;

class SetupBuilder {
  public:
    /// Adds `p`, or replaces the parameter of that name where it stands.
    SetupBuilder& Add(Param p) {
        auto it = Find(p.name);
        if (it != params_.end())
            *it = std::move(p);
        else
            params_.push_back(std::move(p));
        return *this;
    }
    SetupBuilder& Add(const std::vector<Param>& params) {
        for (const Param& p : params) Add(p);
        return *this;
    }
    SetupBuilder& Real(std::string name, double value, std::string unit = "",
                       double min = -kWideLimit, double max = kWideLimit) {
        return Add(compute_test::Real(std::move(name), value, std::move(unit), min, max));
    }
    SetupBuilder& Option(std::string name, double value) {
        return Add(Option32(std::move(name), value));
    }
    /// Sets values; a parameter already there keeps its unit, type and limits, a new one
    /// is a unitless real.
    SetupBuilder& Set(const Inputs& inputs) {
        for (const auto& [name, value] : inputs) {
            auto it = Find(name);
            if (it != params_.end())
                it->value = value;
            else
                Real(name, value);
        }
        return *this;
    }
    SetupBuilder& Without(const std::string& name) {
        std::erase_if(params_, [&](const Param& p) { return p.name == name; });
        return *this;
    }
    SetupBuilder& Without(const std::vector<std::string>& names) {
        for (const std::string& n : names) Without(n);
        return *this;
    }
    SetupBuilder& Setting(const std::string& name, const std::string& text) {
        doc_["settings"][name] = text;
        return *this;
    }
    /// A drive variable; `unit` its base unit, `show` the unit it is shown in.
    SetupBuilder& Variable(const std::string& name, const std::string& unit = "",
                           const std::string& show = "") {
        nlohmann::json v = {{"name", name}};
        if (!unit.empty()) v["unit"] = unit;
        if (!show.empty()) v["show"] = show;
        doc_["variables"].push_back(std::move(v));
        return *this;
    }
    /// A brake output on `port`, pin `pin`.
    SetupBuilder& Brake(int port, int pin) {
        doc_["brakeOutputs"].push_back({{"port", port},
                                        {"pin", pin},
                                        {"name", "OUT"},
                                        {"enableBits", 16},
                                        {"inverted", false}});
        return *this;
    }

    std::unique_ptr<CMC_Setup> Build() const {
        nlohmann::json doc = doc_;
        doc["format"] = "orvex-setup";
        doc["version"] = 1;
        doc["parameters"] = nlohmann::json::array();
        for (const Param& p : params_) {
            nlohmann::json j = {{"name", p.name},
                                {"value", p.value},
                                {"min", p.min},
                                {"max", p.max},
                                {"type", p.type}};
            if (!p.unit.empty()) j["unit"] = p.unit;
            doc["parameters"].push_back(std::move(j));
        }
        // The loader's duplicate-name check looks every name up; keep it from reporting.
        axis::ScopedSilentLookup quiet;
        auto r = axis::ParseSetup(doc.dump());
        EXPECT_TRUE(r.ok()) << r.error;
        return std::move(r.setup);
    }

  private:
    std::vector<Param>::iterator Find(const std::string& name) {
        return std::find_if(params_.begin(), params_.end(),
                            [&](const Param& p) { return p.name == name; });
    }
    std::vector<Param> params_;
    nlohmann::json doc_ = nlohmann::json::object();
};

inline double Value(const CMC_Setup& s, const char* name) {
    return s.GetParameterValueInBaseUnit(name);
}
inline double Internal(const CMC_Setup& s, const char* name) {
    return s.GetParameterValueInInternalUnit(name);
}
inline double Min(const CMC_Setup& s, const char* name) {
    return s.FindParameter(name)->GetMinInBaseUnit();
}
inline double Max(const CMC_Setup& s, const char* name) {
    return s.FindParameter(name)->GetMaxInBaseUnit();
}

// --- drives the tests share ---------------------------------------------------------

/// 40 MHz clock, PWMPER 1000, CLPER 1, SLPER 10 (T_S = 500 us), a 1000-line encoder
/// (MECRESL 4000), a 200-step motor and a 1:1 transmission; every value a plain real.
inline SetupBuilder EncoderDrive() {
    SetupBuilder b;
    b.Real("DSP_freq", 40e6, "Hz")
        .Real("PWMPER", 1000)
        .Real("CLPER", 1)
        .Real("SLPER", 10)
        .Real("Ts_S", 500e-6, "s")
        .Real("MECRESL", 4000)
        .Real("No_encoder_lines", 1000)
        .Real("NoMotorSteps", 200)
        .Real("Motor_transmission", 1)
        .Real("Load_transmission", 1);
    return b;
}

/// 40 MHz clock, 20 kHz PWM (PWMPER 1000), T_C = 50 us, T_S = 500 us; 10 A peak
/// (k_I = 65520 / 20 = 3276 counts per A), 100 V measurable supply (k_U = 655.2
/// counts per V), 48 V supply, 4000 counts per revolution, direct drive.
inline SetupBuilder PowerStageDrive() {
    SetupBuilder b;
    b.Real("DSP_freq", 40e6, "Hz")
        .Option("PWMPER", 1000)
        .Option("CLPER", 1)
        .Option("SLPER", 10)
        .Real("Ts_S", 500e-6, "s")
        .Real("ImaxPS", 10, "A")
        .Real("ImaxM", 8, "A")
        .Real("InPS", 5, "A")
        .Real("In", 3, "A")
        .Real("VdcMaxMeasurable", 100, "V ")
        .Real("Vdc", 48, "V")
        .Option("MECRESL", 4000)
        .Real("Motor_transmission", 1)
        .Real("Load_transmission", 1);
    return b;
}
inline constexpr double kCurrentScale = 65520.0 / 20.0;   // counts per A of PowerStageDrive()
inline constexpr double kVoltageScale = 65520.0 / 100.0;  // counts per V of PowerStageDrive()

}  // namespace compute_test
