#pragma once
// axishost test NAME FILE: one of the module's test dialogs run headless against the
// connected drive, for end-of-line testing. Writes a JSON report; saves the setup
// only when asked to and the dialog ended with the identified values kept.

#include <string>
#include <vector>

namespace axishost {

/// Exit code: 0 the test passed (and the setup was saved when asked), 1 the test
/// failed or the setup could not be saved or the report written, 2 bad usage.
int RunTestCommand(const char* program, const std::string& plugin_path, std::string drive_choice,
                   std::vector<std::string> args);

}  // namespace axishost
