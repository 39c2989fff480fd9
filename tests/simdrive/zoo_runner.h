#pragma once
// Runs every identification program on a motor of the zoo (resources/sim/zoo/)
// the way the module's test dialogs run them, with the setup the user wrote for
// that motor, and evaluates what comes back with the module's own formulas and
// scale functions. The slow zoo test checks the results, bench_identification
// prints them.

#include <string>
#include <vector>

namespace orvex::sim::zoo {

struct Measurement {
    std::string motor;
    std::string test;       // "R", "L", "Jt", "Vdc", "lines", "phase check"
    std::string unit;       // of value and truth
    double value = 0;       // identified
    double truth = 0;       // what the bench really is
    double error = 0;       // relative (value / truth - 1), absolute for "Vdc"
    double duration_s = 0;  // simulated time of the programs that gave it
    bool ok = false;        // the programs finished and the dialog's checks passed
};

/// The zoo's folder, with a trailing slash.
std::string ZooDir();
/// The motors of the zoo (file names without ".json"), sorted.
std::vector<std::string> Motors();
/// Every identification on `motor`: bus voltage, phase check, encoder lines,
/// resistance with inductance (one duration for both), total inertia.
std::vector<Measurement> Identify(const std::string& motor);

}  // namespace orvex::sim::zoo
