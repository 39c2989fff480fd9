#include "app/simrun/command_line.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace simrun {
namespace {

// Thrown inside this file only, caught in ParseCommandLine: the first mistake ends
// the reading.
struct Mistake {
    std::string text;
};

double Number(const std::string& text, const std::string& what) {
    // strtod also reads "inf", "nan" and leading blanks; a drive value is none of them.
    const bool plain = !text.empty() && text.find_first_of(" \t\n") == std::string::npos;
    char* end = nullptr;
    errno = 0;
    const double value = plain ? std::strtod(text.c_str(), &end) : 0.0;
    if (!plain || end != text.c_str() + text.size())
        throw Mistake{what + ": \"" + text + "\" is not a number"};
    if (!std::isfinite(value) || errno == ERANGE)
        throw Mistake{what + ": \"" + text + "\" is not a finite number"};
    return value;
}

int Whole(const std::string& text, const std::string& what, int min, int max) {
    const double value = Number(text, what);
    if (value != std::floor(value))
        throw Mistake{what + ": \"" + text + "\" is not a whole number"};
    if (value < min || value > max)
        throw Mistake{what + ": " + text + " is outside " + std::to_string(min) + " to " +
                      std::to_string(max)};
    return static_cast<int>(value);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

orvex::drive::LoggerSettings Log(const std::string& text) {
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() != 4)
        throw Mistake{"--log " + text + ": expected TYPE:POINTS:DIVIDER:VAR[,VAR]..."};
    orvex::drive::LoggerSettings s;
    s.log_type = Whole(parts[0], "--log type", 1, 2);
    // How many points fit is the drive's to say (its buffer); here only what is a count.
    s.points = Whole(parts[1], "--log points", 1, INT_MAX);
    s.divider = Whole(parts[2], "--log divider", 1, INT_MAX);
    for (const std::string& name : Split(parts[3], ','))
        if (!name.empty()) s.variables.push_back(name);
    if (s.variables.empty()) throw Mistake{"--log " + text + ": no variable"};
    return s;
}

Input ReadInput(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) throw Mistake{"\"" + text + "\": expected NAME=VALUE"};
    Input input;
    input.name = text.substr(0, eq);
    const std::string rhs = text.substr(eq + 1);
    if (!rhs.empty() && rhs[0] == '@') {
        std::string ref = rhs.substr(1);
        const auto colon = ref.find(':');
        if (colon != std::string::npos) {
            input.from_step = Whole(ref.substr(0, colon), input.name + " step", 1, INT_MAX);
            ref = ref.substr(colon + 1);
        }
        if (ref.empty()) throw Mistake{input.name + ": @ needs a variable name"};
        input.variable = ref;
    } else {
        input.value = Number(rhs, input.name);
    }
    return input;
}

double Duration(const std::string& text) {
    const double seconds = Number(text, "--for");
    if (seconds <= 0 || seconds > kMaxRunSeconds)
        throw Mistake{"--for: " + text + " s is outside the run a step may take (above 0 up to " +
                      std::to_string(static_cast<int>(kMaxRunSeconds)) + " s)"};
    return seconds;
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
    CommandLine line;
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            line.help = true;
            return line;
        }
    try {
        Step* step = nullptr;
        bool then_pending = false;  // a --then waits for its step
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            auto value = [&](const char* option) -> const std::string& {
                if (i + 1 >= args.size()) throw Mistake{std::string(option) + " needs a value"};
                return args[++i];
            };
            if (a == "--scenario") {
                line.scenario_path = value("--scenario");
            } else if (a == "--setup") {
                line.setup_path = value("--setup");
            } else if (a == "--then") {
                if (line.steps.empty()) throw Mistake{"--then before the first step"};
                if (!step) throw Mistake{"--then without a step before it"};
                step = nullptr;
                then_pending = true;
            } else if (a == "--log") {
                if (!step) throw Mistake{"--log outside a step"};
                step->log = Log(value("--log"));
            } else if (a == "--for") {
                if (!step) throw Mistake{"--for outside a step"};
                step->for_s = Duration(value("--for"));
            } else if (a.rfind("--", 0) == 0) {
                throw Mistake{"unknown option " + a + " (see --help)"};
            } else if (!step) {
                step = &line.steps.emplace_back();
                step->program = a;
                then_pending = false;
            } else {
                step->inputs.push_back(ReadInput(a));
            }
        }
        if (then_pending) throw Mistake{"--then at the end: no step follows it"};
        if (line.scenario_path.empty()) throw Mistake{"--scenario is required (see --help)"};
        if (line.setup_path.empty()) throw Mistake{"--setup is required (see --help)"};
        if (line.steps.empty()) throw Mistake{"no program to run (see --help)"};
    } catch (const Mistake& m) {
        error = m.text;
        return std::nullopt;
    }
    return line;
}

}  // namespace simrun
