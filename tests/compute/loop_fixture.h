#pragma once
// Small setups for the control loop and protection option tests, written as setup JSON
// and parsed by the host's loader.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host/setup/setup_file.h"

namespace loop_test {

class SetupBuilder {
  public:
    /// A physical parameter in base unit `unit`, with wide limits unless given.
    SetupBuilder& Real(const std::string& name, double value, const std::string& unit = "",
                       double min = -1e12, double max = 1e12) {
        return Add(name, value, min, max, R"("real","unit":")" + unit + "\"");
    }
    /// A drive register with a 32-bit range.
    SetupBuilder& Option(const std::string& name, double value) {
        return Add(name, value, -2147483648.0, 2147483647.0, R"("option32")");
    }
    SetupBuilder& Setting(const std::string& name, const std::string& text) {
        settings_ += (settings_.empty() ? "\"" : ",\"") + name + "\":\"" + text + "\"";
        return *this;
    }
    /// 40 MHz clock, 20 kHz PWM (PWMPER 1000), T_C = 50 us, T_S = 500 us; 10 A peak
    /// (k_I = 65520 / 20 = 3276 counts per A), 100 V measurable supply (k_U = 655.2
    /// counts per V), 48 V supply, 4000 counts per revolution, direct drive.
    SetupBuilder& Drive() {
        return Real("DSP_freq", 40e6, "Hz")
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
        // The loader's duplicate check looks every name up; keep it from reporting them.
        axis::ScopedSilentLookup quiet;
        auto r = axis::ParseSetup(R"({"format":"orvex-setup","version":1,"settings":{)" +
                                  settings_ + R"(},"parameters":[)" + params_ + "]}");
        EXPECT_TRUE(r.ok()) << r.error;
        return std::move(r.setup);
    }

  private:
    SetupBuilder& Add(const std::string& name, double value, double min, double max,
                      const std::string& type) {
        char nums[120];
        std::snprintf(nums, sizeof nums, R"("value":%.17g,"min":%.17g,"max":%.17g)", value, min,
                      max);
        params_ += (params_.empty() ? "" : ",") + std::string(R"({"name":")") + name + "\"," +
                   nums + R"(,"type":)" + type + "}";
        return *this;
    }
    std::string params_, settings_;
};

inline double Value(const CMC_Setup& s, const char* name) {
    return s.GetParameterValueInBaseUnit(name);
}

inline constexpr double kCurrentScale = 65520.0 / 20.0;   // counts per A of Drive()
inline constexpr double kVoltageScale = 65520.0 / 100.0;  // counts per V of Drive()

}  // namespace loop_test
