#pragma once
// Small setups for the register, I/O and analogue reference tests, built as setup
// JSON so that they go through the same loader as the real files.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/setup/setup_file.h"

namespace config_test {

inline std::string Num(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

class SetupBuilder {
public:
    /// A drive with a 40 MHz clock, PWMPER 1000, CLPER 1 and SLPER 10 (T_S = 500 us),
    /// a 1000-line encoder (MECRESL 4000), a 200-step motor and a 1:1 transmission.
    static SetupBuilder Drive() {
        SetupBuilder b;
        b.Real("DSP_freq", 40e6, "Hz")
            .Option("PWMPER", 1000)
            .Option("CLPER", 1)
            .Option("SLPER", 10)
            .Real("Ts_S", 500e-6, "s")
            .Option("MECRESL", 4000, 32)
            .Real("No_encoder_lines", 1000)
            .Real("NoMotorSteps", 200)
            .Real("Motor_transmission", 1)
            .Real("Load_transmission", 1);
        return b;
    }

    SetupBuilder& Real(const std::string& name, double value, const std::string& unit = "",
                       double min = -1e15, double max = 1e15) {
        return Add(name, value, unit, min, max, "real");
    }
    SetupBuilder& Switch(const std::string& name, double value) {
        return Add(name, value, "", 0, 1, "switch");
    }
    SetupBuilder& Choice(const std::string& name, double value) {
        return Add(name, value, "", -100, 100, "choice");
    }
    /// A register; wide limits so that the tests see exactly what was written.
    SetupBuilder& Option(const std::string& name, double value, int bits = 16) {
        return Add(name, value, "", -4294967296.0, 4294967296.0,
                   bits == 32 ? "option32" : "option16");
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
                          ",\"name\":\"OUT" + std::to_string(port) +
                          "\",\"enableBits\":16,\"inverted\":false}");
        return *this;
    }
    /// Drops a parameter added before (to test what a missing name does).
    SetupBuilder& Without(const std::string& name) {
        std::erase_if(params_, [&](const Entry& e) { return e.name == name; });
        return *this;
    }

    std::unique_ptr<CMC_Setup> Build() const {
        std::string json = R"({"format":"orvex-setup","version":1,"settings":{)";
        json += Join(settings_) + "},\"brakeOutputs\":[" + Join(brakes_) + "],\"parameters\":[";
        std::vector<std::string> items;
        for (const Entry& e : params_) items.push_back(e.json);
        json += Join(items) + "],\"variables\":[" + Join(variables_) + "]}";
        auto r = axis::ParseSetup(json);
        EXPECT_TRUE(r.ok()) << r.error;
        return std::move(r.setup);
    }

private:
    struct Entry {
        std::string name, json;
    };
    SetupBuilder& Add(const std::string& name, double value, const std::string& unit, double min,
                      double max, const std::string& type) {
        Without(name);
        std::string j = "{\"name\":\"" + name + "\",\"value\":" + Num(value);
        if (type != "option16" && type != "option32") j += ",\"unit\":\"" + unit + "\"";
        j += ",\"min\":" + Num(min) + ",\"max\":" + Num(max) + ",\"type\":\"" + type + "\"}";
        params_.push_back({name, j});
        return *this;
    }
    static std::string Join(const std::vector<std::string>& v) {
        std::string out;
        for (size_t i = 0; i < v.size(); ++i) out += (i ? "," : "") + v[i];
        return out;
    }

    std::vector<Entry> params_;
    std::vector<std::string> settings_, variables_, brakes_;
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

}  // namespace config_test
