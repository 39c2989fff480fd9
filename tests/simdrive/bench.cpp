#include "bench.h"

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace orvex::sim::testing {

Scenario LoadScenario(const std::string& file, const std::function<void(Scenario&)>& edit) {
    std::string error;
    auto scenario = LoadScenarioFile(std::string(ORVEX_RESOURCE_DIR) + "/sim/" + file, error);
    if (!scenario) throw std::runtime_error(error);
    if (edit) edit(*scenario);
    return *scenario;
}

Bench::Bench(const Scenario& scenario, const std::string& setup_file)
    : drive(std::make_unique<SimulatedDrive>(scenario, clock)) {
    std::ifstream in(setup_file.empty() ? std::string(ORVEX_RESOURCE_DIR) +
                                              "/../tests/simdrive/data/test_setup.json"
                                        : setup_file);
    if (!in) throw std::runtime_error("cannot read " + setup_file);
    const nlohmann::json setup = nlohmann::json::parse(in);
    for (const auto& p : setup.at("parameters")) {
        const std::string type = p.at("type");
        if (type == "option16" || type == "option32")
            options_[p.at("name")] = {p.at("value").get<double>(), type == "option32" ? 32 : 16};
    }
}

void Bench::SetOption(const std::string& name, double value, int bits) {
    options_[name] = {value, bits};
}

bool Bench::Start(const std::string& program, const std::map<std::string, double>& inputs,
                  const drive::LoggerSettings& log) {
    for (const auto& [name, value] : inputs)
        if (!drive->WriteVariable(name, value)) return false;
    for (const auto& [name, option] : options_)
        drive->WriteRegister(name, option.value, option.bits);
    if (!drive->ConfigureLogger(log)) return false;
    return drive->ExecuteProgram(program);
}

bool Bench::Run(const std::string& program, const std::map<std::string, double>& inputs,
                const drive::LoggerSettings& log, double timeout_s) {
    if (!Start(program, inputs, log)) return false;
    return WaitForProgramEnd(*drive, clock, timeout_s).finished;
}

double Bench::Var(const std::string& name) {
    double value = std::nan("");
    drive->ReadVariable(name, value);
    return value;
}

std::vector<drive::LogPoint> Bench::Log() {
    std::vector<drive::LogPoint> points;
    drive->UploadLog(points);
    return points;
}

double Mean(const std::vector<drive::LogPoint>& points, std::size_t column) {
    // Running mean, as the host computes it.
    double m = 0;
    for (std::size_t k = 0; k < points.size(); ++k)
        m += (points[k][column] - m) / static_cast<double>(k + 1);
    return m;
}

void EncodeGain(double gain, double& mantissa, int& shift) {
    shift = gain <= 1 ? 0 : static_cast<int>(std::ceil(std::log(gain) / std::log(2.0)));
    mantissa = gain * 32767.0 / std::ldexp(1.0, shift);
}

}  // namespace orvex::sim::testing
