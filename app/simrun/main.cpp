// simrun: runs drive programs on the simulated drive from the command line and
// prints what a host would read back, as JSON.

#include <cstdlib>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/simrun/command_line.h"
#include "host/setup/setup_file.h"
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
  --setup FILE      a setup file, read as axishost reads it; its options (type
                    option16/option32) form the register image, written again
                    before every program
  --help            this text

A STEP is
  PROGRAM [NAME=VALUE | NAME=@VARIABLE | NAME=@K:VARIABLE]...
          [--log TYPE:POINTS:DIVIDER:VAR[,VAR]...] [--for SECONDS]

  NAME=VALUE        writes VALUE (drive units) into the variable NAME before start
  NAME=@VARIABLE    writes what VARIABLE held after the previous step
  NAME=@K:VARIABLE  ... after step K (counting from 1)
  --log             logger: TYPE 1 = slow-loop samples, 2 = fast-loop samples,
                    POINTS to record, one sample in DIVIDER, variables;
                    POINTS x variables must fit the drive's logger buffer
  --for SECONDS     simulated time to run a continuous program (default 2, at
                    most 600)

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

[[noreturn]] void Fail(const std::string& text) {
    std::cerr << "simrun: " << text << "\n";
    std::exit(2);
}

struct Option {
    std::string name;
    double value;
    int bits;
};

// The register image: every option of the setup, read by the loader axishost uses,
// so a setup simrun runs is one axishost would open, with the same messages.
std::vector<Option> LoadSetupOptions(const std::string& path) {
    axis::SetupLoadResult loaded = axis::LoadSetupFile(path);
    if (!loaded.ok()) Fail(loaded.error);
    for (const auto& w : loaded.warnings) std::cerr << "simrun: warning: " << w << "\n";
    std::vector<Option> options;
    const CMC_Parameters params = loaded.setup->GetParameters();
    for (int i = 0; i < params.GetParametersCount(); ++i) {
        const CMC_Parameter* p = params[i];
        if (!p->IsOption()) continue;
        // An option's base value is what the drive gets (a register has no unit).
        options.push_back(
            {p->GetName(), p->GetValueInBaseUnit(), p->GetType() == kTypeOption32 ? 32 : 16});
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
    std::string error;
    const auto parsed = simrun::ParseCommandLine({argv + 1, argv + argc}, error);
    if (!parsed) Fail(error);
    if (parsed->help) {
        std::cout << kUsage;
        return 0;
    }
    const simrun::CommandLine& options = *parsed;
    auto scenario = orvex::sim::LoadScenarioFile(options.scenario_path, error);
    if (!scenario) Fail(error);
    const std::vector<Option> setup = LoadSetupOptions(options.setup_path);
    for (const simrun::Step& step : options.steps)
        if (!ProgramVariables(step.program)) Fail("unknown program \"" + step.program + "\"");

    ManualClock clock;
    SimulatedDrive drive(*scenario, clock);
    std::vector<std::map<std::string, double>> left;  // what each step left behind
    json runs = json::array();
    int exit_code = 0;

    for (std::size_t k = 0; k < options.steps.size(); ++k) {
        const simrun::Step& step = options.steps[k];
        // The host writes every option before it loads a program.
        for (const Option& o : setup)
            if (!drive.WriteRegister(o.name, o.value, o.bits))
                Fail(o.name + ": " + drive.LastErrorText());
        json inputs = json::object();
        for (const simrun::Input& in : step.inputs) {
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
