// Any command line for simrun (one argument per line of the input): steps or a
// reason, never a crash; every step read is within the bounds the tool promises.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/simrun/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n')
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    std::string error;
    const auto line = simrun::ParseCommandLine(args, error);
    if (line.has_value() == !error.empty()) std::abort();
    if (!line || line->help) return 0;
    for (const simrun::Step& step : line->steps) {
        if (!(step.for_s > 0 && step.for_s <= simrun::kMaxRunSeconds)) std::abort();
        for (const simrun::Input& in : step.inputs)
            if (in.value && !std::isfinite(*in.value)) std::abort();
        if (step.log &&
            (step.log->points < 1 || step.log->divider < 1 || step.log->variables.empty()))
            std::abort();
    }
    return 0;
}
