#pragma once
// Where the motor zoo (resources/sim/zoo/) lies and which motors it holds: each motor
// is a bench file NAME.json with the setup its user wrote, NAME.setup.json.

#include <string>
#include <vector>

namespace orvex::sim::zoo {

/// The zoo's folder, with a trailing slash.
std::string ZooDir();
/// The motors of the zoo (file names without ".json"), sorted.
std::vector<std::string> Motors();

}  // namespace orvex::sim::zoo
