#pragma once
// A test bench around the simulated drive: a scenario, a manual clock, the test
// setup's options written before every program (as the host does), and helpers
// that run a program to its end the way the host polls it.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simdrive/clock.h"
#include "simdrive/program_runner.h"
#include "simdrive/scenario.h"
#include "simdrive/simulated_drive.h"

namespace orvex::sim::testing {

/// The default scenario, changed by `edit` (to add a fault, say).
Scenario LoadScenario(const std::string& file = "default.json",
                      const std::function<void(Scenario&)>& edit = nullptr);

class Bench {
  public:
    /// The drive on `scenario` with the options of `setup_file` (default: the
    /// test setup, tests/simdrive/data/test_setup.json).
    explicit Bench(const Scenario& scenario, const std::string& setup_file = "");

    /// Replaces (or adds) an option of the setup.
    void SetOption(const std::string& name, double value, int bits = 16);
    /// Writes the inputs and the options, configures the logger (empty: none)
    /// and runs `program` until it has finished; false when it did not.
    bool Run(const std::string& program, const std::map<std::string, double>& inputs,
             const drive::LoggerSettings& log = {}, double timeout_s = 60.0);
    /// Starts `program` without waiting.
    bool Start(const std::string& program, const std::map<std::string, double>& inputs,
               const drive::LoggerSettings& log = {});
    double Var(const std::string& name);
    std::vector<drive::LogPoint> Log();

    ManualClock clock;
    std::unique_ptr<SimulatedDrive> drive;

  private:
    struct Option {
        double value;
        int bits;
    };
    std::map<std::string, Option> options_;
};

/// Mean of column `column` of logged points.
double Mean(const std::vector<drive::LogPoint>& points, std::size_t column);

// Scales of the test setup (tests/simdrive/data/test_setup.json): 20 kHz PWM,
// current loop every period, slow loop every tenth; 8 A peak, ADC 65520.
inline constexpr double kFastPeriod_s = 50e-6;
inline constexpr double kSlowPeriod_s = 500e-6;
inline constexpr double kCountsPerAmp = 65520.0 / (2 * 8.0);
inline constexpr double kMaxMeasurableBus_V = 100.0;
inline constexpr double kAdcMax = 65520.0;

/// The gain encoding of the registers: shift and mantissa of a gain K.
void EncodeGain(double gain, double& mantissa, int& shift);

}  // namespace orvex::sim::testing
