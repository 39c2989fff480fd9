#pragma once
// Small setups for the control loop and protection option tests, written as setup
// JSON and parsed by the host's loader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/setup/setup_file.h"

namespace orvex_test {

class SetupBuilder {
  public:
    /// A physical parameter (base unit `unit`) with wide limits unless given.
    SetupBuilder& Real(const std::string& name, double value, const std::string& unit = "",
                       double min = -1e12, double max = 1e12) {
        return Put({name, "real", unit, value, min, max});
    }
    /// A drive register with a 32-bit range unless given.
    SetupBuilder& Option(const std::string& name, double value, double min = -2147483648.0,
                         double max = 2147483647.0) {
        return Put({name, "option32", "", value, min, max});
    }
    SetupBuilder& Setting(const std::string& name, const std::string& text) {
        settings_.emplace_back(name, text);
        return *this;
    }
    SetupBuilder& Without(const std::string& name) {
        std::erase_if(entries_, [&](const Entry& e) { return e.name == name; });
        return *this;
    }

    /// A drive on a 40 MHz clock at 20 kHz PWM (PWMPER 1000), current loop every PWM
    /// period (T_C = 50 us), slow loop every 10 (T_S = 500 us); 10 A peak current
    /// (k_I = 65520 / 20 = 3276 counts per ampere), 100 V measurable supply
    /// (k_U = 655.2 counts per volt), 48 V supply, 4000 encoder counts per revolution
    /// and a direct drive (k_P = 4000 / 2pi counts per rad).
    SetupBuilder& Drive() {
        return Real("DSP_freq", 40e6, "Hz")
            .Real("PWM_freq", 20000, "Hz")
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
    }

    std::unique_ptr<CMC_Setup> Build() const {
        std::string json = R"({"format":"orvex-setup","version":1,"settings":{)";
        for (size_t i = 0; i < settings_.size(); ++i)
            json += (i ? "," : "") + Quote(settings_[i].first) + ":" + Quote(settings_[i].second);
        json += R"(},"parameters":[)";
        for (size_t i = 0; i < entries_.size(); ++i) {
            const Entry& e = entries_[i];
            json += std::string(i ? "," : "") + R"({"name":)" + Quote(e.name) + R"(,"value":)" +
                    Num(e.value) + R"(,"min":)" + Num(e.min) + R"(,"max":)" + Num(e.max) +
                    R"(,"type":)" + Quote(e.type) +
                    (e.type == "real" ? R"(,"unit":)" + Quote(e.unit) : "") + "}";
        }
        json += "]}";
        // The loader's duplicate check looks every name up; keep it from reporting them.
        axis::ScopedSilentLookup quiet;
        auto r = axis::ParseSetup(json);
        EXPECT_TRUE(r.ok()) << r.error;
        return std::move(r.setup);
    }

  private:
    struct Entry {
        std::string name, type, unit;
        double value, min, max;
    };
    SetupBuilder& Put(Entry e) {
        Without(e.name);
        entries_.push_back(std::move(e));
        return *this;
    }
    static std::string Quote(const std::string& s) { return "\"" + s + "\""; }
    static std::string Num(double v) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        return buf;
    }

    std::vector<Entry> entries_;
    std::vector<std::pair<std::string, std::string>> settings_;
};

inline double Value(const CMC_Setup& s, const char* name) {
    return s.GetParameterValueInBaseUnit(name);
}

inline constexpr double kCurrentScale = 65520.0 / 20.0;   // counts per A of Drive()
inline constexpr double kVoltageScale = 65520.0 / 100.0;  // counts per V of Drive()

}  // namespace orvex_test
