#pragma once
// Small setups for the register, I/O and analogue reference tests, built as setup JSON
// so that they go through the same loader as the real files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/setup/setup_file.h"

namespace config_test {

using Inputs = std::vector<std::pair<const char*, double>>;

class SetupBuilder {
  public:
    /// 40 MHz clock, PWMPER 1000, CLPER 1, SLPER 10 (T_S = 500 us), a 1000-line encoder
    /// (MECRESL 4000), a 200-step motor and a 1:1 transmission.
    static SetupBuilder Drive() {
        // clang-format off
        return SetupBuilder().P("DSP_freq", 40e6, "Hz").P("PWMPER", 1000).P("CLPER", 1)
            .P("SLPER", 10).P("Ts_S", 500e-6, "s").P("MECRESL", 4000).P("No_encoder_lines", 1000)
            .P("NoMotorSteps", 200).P("Motor_transmission", 1).P("Load_transmission", 1);
        // clang-format on
    }
    /// A parameter with wide limits, so that a test sees exactly what was written.
    SetupBuilder& P(const std::string& name, double value, const std::string& unit = "",
                    double min = -4294967296.0, double max = 4294967296.0) {
        Without(name);
        params_.push_back({name, unit, value, min, max});
        return *this;
    }
    /// Sets values; a parameter added before keeps its unit and limits.
    SetupBuilder& Add(const Inputs& inputs) {
        for (const auto& [name, value] : inputs) {
            auto it = std::find_if(params_.begin(), params_.end(),
                                   [&](const Param& p) { return p.name == name; });
            if (it != params_.end())
                it->value = value;
            else
                P(name, value);
        }
        return *this;
    }
    SetupBuilder& Setting(const std::string& name, const std::string& text) {
        settings_.push_back("\"" + name + "\":\"" + text + "\"");
        return *this;
    }
    SetupBuilder& Variable(const std::string& name) {
        variables_.push_back("{\"name\":\"" + name + "\"}");
        return *this;
    }
    SetupBuilder& Brake(int port, int pin) {
        brakes_.push_back("{\"port\":" + std::to_string(port) + ",\"pin\":" + std::to_string(pin) +
                          ",\"name\":\"OUT\",\"enableBits\":16,\"inverted\":false}");
        return *this;
    }
    SetupBuilder& Without(const std::string& name) {
        std::erase_if(params_, [&](const Param& p) { return p.name == name; });
        return *this;
    }
    std::unique_ptr<CMC_Setup> Build() const {
        std::vector<std::string> items;
        for (const Param& p : params_)
            items.push_back("{\"name\":\"" + p.name + "\",\"value\":" + Num(p.value) +
                            ",\"unit\":\"" + p.unit + "\",\"min\":" + Num(p.min) +
                            ",\"max\":" + Num(p.max) + ",\"type\":\"real\"}");
        auto r = axis::ParseSetup(R"({"format":"orvex-setup","version":1,"settings":{)" +
                                  Join(settings_) + "},\"brakeOutputs\":[" + Join(brakes_) +
                                  "],\"parameters\":[" + Join(items) + "],\"variables\":[" +
                                  Join(variables_) + "]}");
        EXPECT_TRUE(r.ok()) << r.error;
        return std::move(r.setup);
    }

  private:
    static std::string Num(double v) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        return buf;
    }
    static std::string Join(const std::vector<std::string>& v) {
        std::string out;
        for (size_t i = 0; i < v.size(); ++i) out += (i ? "," : "") + v[i];
        return out;
    }
    struct Param {
        std::string name, unit;
        double value, min, max;
    };
    std::vector<Param> params_;
    std::vector<std::string> settings_, variables_, brakes_;
};

inline double Value(const CMC_Setup& s, const char* n) {
    return s.GetParameterValueInBaseUnit(n);
}
inline double Internal(const CMC_Setup& s, const char* n) {
    return s.GetParameterValueInInternalUnit(n);
}
inline double Min(const CMC_Setup& s, const char* n) {
    return s.FindParameter(n)->GetMinInBaseUnit();
}
inline double Max(const CMC_Setup& s, const char* n) {
    return s.FindParameter(n)->GetMaxInBaseUnit();
}

}  // namespace config_test
