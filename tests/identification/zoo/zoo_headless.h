#pragma once
// Every test dialog of the module run on every motor of a folder (the zoo,
// resources/sim/zoo/, or the held-out motors, resources/sim/holdout/) through
// `axishost test`, the way a production line runs them: the setup a user
// wrote from the data sheets, the simulated bench as the drive, the JSON report as
// the only answer. The identified values are compared with the bench's truth. The
// slow zoo test checks the rows at loose bounds; bench_identification prints them
// against the accuracy the tool promises.

#include <optional>
#include <string>
#include <vector>

#include "zoo_runner.h"  // the folders and their motors

namespace orvex::zoo {

using sim::zoo::FolderPath;
using sim::zoo::Motors;

/// What a result must meet to pass. Relative errors, except the bus voltage [V].
struct Targets {
    double resistance = 0.01;
    double inductance = 0.02;
    double inertia = 0.03;
    double bus_voltage_V = 0.05;
    /// Drive time of the resistance and inductance test together [s].
    double rl_duration_s = 3.0;
};

/// One test on one bench, or one quantity of it ("R" and "L" of the rl test).
struct Row {
    std::string test;      ///< the name `axishost test` takes
    std::string bench;     ///< zoo motor or fault bench
    std::string quantity;  ///< "R", "L", "Jt", "Vdc", "lines", "V"; empty for a verdict only
    std::string unit;
    std::optional<double> value;  ///< identified (absent when the report has none)
    std::optional<double> truth;  ///< what the bench really is
    /// value / truth - 1, or value - truth for the bus voltage and the analogue input.
    std::optional<double> error;
    double duration_s = 0.0;  ///< drive time of the whole test
    bool passed = false;      ///< the test's own verdict (exit code 0)
    std::string failure;      ///< its failure text, or what went wrong running it
    bool meets_target = false;
    std::string target;  ///< the target in words ("1 %", "exact", "fails with its text")
};

/// Every test on `motor` of `folder` (a name under resources/sim/ such as "zoo" or
/// "holdout", or a path); `parallel` axishost processes at once.
std::vector<Row> RunMotor(const std::string& folder, const std::string& motor,
                          const Targets& targets, int parallel = 2);

/// Each fault bench of resources/sim/ under the test that must find the fault: a row
/// meets its target when the test failed with exactly the text that names the fault.
std::vector<Row> RunFaultBenches(int parallel = 2);

}  // namespace orvex::zoo
