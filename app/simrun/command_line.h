#pragma once
// simrun's command line: the files and the steps to run, read without touching the
// drive, so every mistake is found before the first program starts. Returns the
// reason instead of exiting, so the reading can be tested and fuzzed as it is.

#include <optional>
#include <string>
#include <vector>

#include "host/link/drive_link.h"

namespace simrun {

/// Longest simulated run of a continuous program (`--for`). Ten minutes of drive
/// time take about a second on the machine; nothing a user asks of one step needs
/// more, and a mistyped exponent must not keep the tool busy for hours.
inline constexpr double kMaxRunSeconds = 600.0;

/// One input of a step: a value, or what a variable held after an earlier step.
struct Input {
    std::string name;
    std::optional<double> value;
    int from_step = 0;  ///< 0: the previous step; else counting from 1
    std::string variable;
};

struct Step {
    std::string program;
    std::vector<Input> inputs;
    std::optional<orvex::drive::LoggerSettings> log;
    double for_s = 2.0;
};

struct CommandLine {
    bool help = false;
    std::string scenario_path;
    std::string setup_path;
    std::vector<Step> steps;
};

/// Reads the arguments after the program name. On a mistake returns nothing and
/// sets `error` to what is wrong and where ("--for: \"inf\" is not a finite number").
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

}  // namespace simrun
