// simrun: runs drive programs on the simulated drive from the command line and
// prints what a host would read back, as JSON.

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "simdrive/clock.h"
#include "simdrive/program_runner.h"
#include "simdrive/programs.h"
#include "simdrive/scenario.h"
#include "simdrive/simulated_drive.h"

namespace {

using nlohmann::json;
using orvex::sim::ManualClock;
using orvex::sim::SimulatedDrive;

constexpr const char* kUsage = R"(Usage: simrun --scenario FILE --setup FILE STEP [--then STEP]...

Runs drive programs on the simulated drive, one after the other, with the drive's
state carried from one to the next, and prints what they left as one JSON object.

  --scenario FILE   the bench: motor, load, encoder, drive hardware, faults (JSON)
  --setup FILE      a setup file; its options (type option16/option32) form the
                    register image, written again before every program
  --help            this text

A STEP is
  PROGRAM [NAME=VALUE | NAME=@VARIABLE | NAME=@K:VARIABLE]...
          [--log TYPE:POINTS:DIVIDER:VAR[,VAR]...] [--for SECONDS]

  NAME=VALUE        writes VALUE (drive units) into the variable NAME before start
  NAME=@VARIABLE    writes what VARIABLE held after the previous step
  NAME=@K:VARIABLE  ... after step K (counting from 1)
  --log             logger: TYPE 1 = slow-loop samples, 2 = fast-loop samples,
                    POINTS to record, one sample in DIVIDER, variables
  --for SECONDS     simulated time to run a continuous program (default 2)

A step waits until its program has finished (STARTED nonzero and the power stage
off), polling every 20 ms of simulated time, and gives up after 60 simulated
seconds. Output: {"runs": [{"program", "inputs", "finished", "sim_time_s",
"outputs", "drive", "log"}...]}. Errors go to stderr with exit code 2; a step that
did not finish gives exit code 1.

Example:
  simrun --scenario resources/sim/default.json --setup demo.json \
    Initial_Positioning_Test In1=800 \
    --then Ident_R_or_Rs In1=800 RefTest=@REFTST_V --log 1:400:1:IQ
)";

struct Input {
    std::string name;
    std::optional<double> value;
    int from_step = 0;  // 0: the previous step
    std::string variable;
};

struct Step {
    std::string program;
    std::vector<Input> inputs;
    std::optional<orvex::drive::LoggerSettings> log;
    double for_s = 2.0;
};

[[noreturn]] void Fail(const std::string& text) {
    std::cerr << "simrun: " << text << "\n";
    std::exit(2);
}

double ParseNumber(const std::string& text, const std::string& what) {
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (...) {
        used = 0;
    }
    if (used != text.size() || text.empty()) Fail(what + ": \"" + text + "\" is not a number");
    return value;
}

orvex::drive::LoggerSettings ParseLog(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ':')) parts.push_back(part);
    if (parts.size() != 4) Fail("--log " + text + ": expected TYPE:POINTS:DIVIDER:VAR[,VAR]...");
    orvex::drive::LoggerSettings s;
    s.log_type = static_cast<int>(ParseNumber(parts[0], "--log type"));
    s.points = static_cast<int>(ParseNumber(parts[1], "--log points"));
    s.divider = static_cast<int>(ParseNumber(parts[2], "--log divider"));
    std::stringstream vars(parts[3]);
    while (std::getline(vars, part, ','))
        if (!part.empty()) s.variables.push_back(part);
    if (s.variables.empty()) Fail("--log " + text + ": no variable");
    return s;
}

Input ParseInput(const std::string& text) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) Fail("\"" + text + "\": expected NAME=VALUE");
    Input input;
    input.name = text.substr(0, eq);
    const std::string rhs = text.substr(eq + 1);
    if (!rhs.empty() && rhs[0] == '@') {
        std::string ref = rhs.substr(1);
        const auto colon = ref.find(':');
        if (colon != std::string::npos) {
            input.from_step =
                static_cast<int>(ParseNumber(ref.substr(0, colon), input.name + " step"));
            if (input.from_step < 1) Fail(input.name + ": steps count from 1");
            ref = ref.substr(colon + 1);
        }
        if (ref.empty()) Fail(input.name + ": @ needs a variable name");
        input.variable = ref;
    } else {
        input.value = ParseNumber(rhs, input.name);
    }
    return input;
}

struct Options {
    std::string scenario_path, setup_path;
    std::vector<Step> steps;
};

Options ParseArguments(int argc, char** argv) {
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
    Step* step = nullptr;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* option) -> const std::string& {
            if (i + 1 >= args.size()) Fail(std::string(option) + " needs a value");
            return args[++i];
        };
        if (a == "--scenario") {
            o.scenario_path = value("--scenario");
        } else if (a == "--setup") {
            o.setup_path = value("--setup");
        } else if (a == "--then") {
            if (!step) Fail("--then before the first step");
            step = nullptr;
        } else if (a == "--log") {
            if (!step) Fail("--log outside a step");
            step->log = ParseLog(value("--log"));
        } else if (a == "--for") {
            if (!step) Fail("--for outside a step");
            step->for_s = ParseNumber(value("--for"), "--for");
            if (step->for_s < 0) Fail("--for must not be negative");
        } else if (a.rfind("--", 0) == 0) {
            Fail("unknown option " + a + " (see --help)");
        } else if (!step) {
            o.steps.emplace_back();
            step = &o.steps.back();
            step->program = a;
        } else {
            step->inputs.push_back(ParseInput(a));
        }
    }
    if (o.scenario_path.empty()) Fail("--scenario is required (see --help)");
    if (o.setup_path.empty()) Fail("--setup is required (see --help)");
    if (o.steps.empty()) Fail("no program to run (see --help)");
    return o;
}

struct Option {
    std::string name;
    double value;
    int bits;
};

std::vector<Option> LoadSetupOptions(const std::string& path) {
    std::ifstream in(path);
    if (!in) Fail(path + ": cannot be read");
    json root = json::parse(in, nullptr, false);
    if (root.is_discarded() || !root.is_object()) Fail(path + ": not a JSON object");
    auto params = root.find("parameters");
    if (params == root.end() || !params->is_array()) Fail(path + ": no \"parameters\" array");
    std::vector<Option> options;
    for (std::size_t i = 0; i < params->size(); ++i) {
        const json& p = (*params)[i];
        const std::string where = path + ": parameters[" + std::to_string(i) + "]";
        if (!p.is_object() || !p.contains("name") || !p["name"].is_string())
            Fail(where + ".name: missing");
        const std::string type = p.value("type", "");
        if (type != "option16" && type != "option32") continue;
        if (!p.contains("value") || !p["value"].is_number()) Fail(where + ".value: not a number");
        options.push_back(
            {p["name"].get<std::string>(), p["value"].get<double>(), type == "option32" ? 32 : 16});
    }
    return options;
}

bool IsContinuous(const std::string& program) {
    for (const auto& info : orvex::sim::ProgramCatalogue())
        if (info.name == program) return info.continuous;
    return false;
}

const std::vector<std::string>* ProgramVariables(const std::string& program) {
    for (const auto& info : orvex::sim::ProgramCatalogue())
        if (info.name == program) return &info.variables;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseArguments(argc, argv);
    std::string error;
    auto scenario = orvex::sim::LoadScenarioFile(options.scenario_path, error);
    if (!scenario) Fail(error);
    const std::vector<Option> setup = LoadSetupOptions(options.setup_path);
    for (const Step& step : options.steps)
        if (!ProgramVariables(step.program)) Fail("unknown program \"" + step.program + "\"");

    ManualClock clock;
    SimulatedDrive drive(*scenario, clock);
    std::vector<std::map<std::string, double>> left;  // what each step left behind
    json runs = json::array();
    int exit_code = 0;

    for (std::size_t k = 0; k < options.steps.size(); ++k) {
        const Step& step = options.steps[k];
        // The host writes every option before it loads a program.
        for (const Option& o : setup)
            if (!drive.WriteRegister(o.name, o.value, o.bits))
                Fail(o.name + ": " + drive.LastErrorText());
        json inputs = json::object();
        for (const Input& in : step.inputs) {
            double value = 0;
            if (in.value) {
                value = *in.value;
            } else {
                const std::size_t from = in.from_step ? in.from_step : k;
                if (from < 1 || from > left.size())
                    Fail(in.name + "=@" + in.variable + ": no step " + std::to_string(from) +
                         " before this one");
                auto it = left[from - 1].find(in.variable);
                if (it == left[from - 1].end())
                    Fail(in.name + ": step " + std::to_string(from) + " left no variable \"" +
                         in.variable + "\"");
                value = it->second;
            }
            if (!drive.WriteVariable(in.name, value)) Fail(in.name + ": " + drive.LastErrorText());
            inputs[in.name] = value;
        }
        orvex::drive::LoggerSettings log_settings;
        if (step.log) log_settings = *step.log;
        if (!drive.ConfigureLogger(log_settings)) Fail("--log: " + drive.LastErrorText());
        if (!drive.ExecuteProgram(step.program)) Fail(drive.LastErrorText());

        const double start = clock.Now_s();
        bool finished = false;
        if (IsContinuous(step.program)) {
            orvex::sim::RunFor(drive, clock, step.for_s);
            drive.StopProgram();
            finished = true;
        } else {
            finished = orvex::sim::WaitForProgramEnd(drive, clock, 60.0).finished;
            if (!finished) {
                drive.StopProgram();
                exit_code = 1;
            }
        }

        json run;
        run["program"] = step.program;
        run["inputs"] = inputs;
        run["finished"] = finished;
        run["sim_time_s"] = clock.Now_s() - start;
        std::map<std::string, double> snapshot;
        json outputs = json::object(), drive_vars = json::object();
        for (const std::string& name : *ProgramVariables(step.program)) {
            double v = 0;
            drive.ReadVariable(name, v);
            outputs[name] = v;
        }
        for (const auto& info : orvex::sim::ProgramCatalogue())
            for (const std::string& name : info.variables) {
                double v = 0;
                if (drive.ReadVariable(name, v)) snapshot[name] = v;
            }
        for (const std::string& name : SimulatedDrive::DriveVariableNames()) {
            double v = 0;
            drive.ReadVariable(name, v);
            drive_vars[name] = v;
            snapshot[name] = v;
        }
        run["outputs"] = outputs;
        run["drive"] = drive_vars;
        json log = json::object();
        log["variables"] = log_settings.variables;
        std::vector<orvex::drive::LogPoint> points;
        drive.UploadLog(points);
        log["points"] = points;
        run["log"] = log;
        runs.push_back(run);
        left.push_back(std::move(snapshot));
    }
    json out;
    out["runs"] = runs;
    std::cout << out.dump() << "\n";
    return exit_code;
}
