#pragma once
// Where the motors lie and which motors a folder holds: each motor is a bench file
// NAME.json with the setup its user wrote, NAME.setup.json. Two folders ship with
// the sources: the zoo the programs were developed on (resources/sim/zoo/) and the
// held-out motors that check them (resources/sim/holdout/).

#include <functional>
#include <string>
#include <vector>

#include "simdrive/scenario.h"

namespace orvex::sim::zoo {

/// A folder of motors with a trailing slash: a name under resources/sim/ ("zoo",
/// "holdout") or a path of its own (one that holds a '/').
std::string FolderPath(const std::string& folder);
/// The motors of a folder (file names without ".json"), sorted; none when the folder
/// cannot be read.
std::vector<std::string> Motors(const std::string& folder);

/// The folder the tuning runs take their motors from; the zoo unless chosen.
void UseFolder(const std::string& folder);
std::string ZooDir();
std::vector<std::string> Motors();
/// The bench of `motor` in that folder, changed by `edit`; throws when unreadable.
Scenario LoadMotor(const std::string& motor, const std::function<void(Scenario&)>& edit = nullptr);

}  // namespace orvex::sim::zoo
