#include "simdrive/simulated_drive.h"

#include <cmath>
#include <utility>

namespace orvex::sim {
namespace {

// Variables the firmware computes every sample; the host can read but not write
// them.
struct LiveName {
    const char* name;
    double LiveValues::*member;
};
constexpr LiveName kLiveNames[] = {
    {"APOS", &LiveValues::apos},
    {"CAPPOS", &LiveValues::cappos},
    {"AD5", &LiveValues::ad5},
    {"IQ", &LiveValues::iq},
    {"ID", &LiveValues::id},
    {"IA", &LiveValues::ia},
    {"IB", &LiveValues::ib},
    {"VDC", &LiveValues::vdc},
    {"Current_Reference", &LiveValues::current_reference},
    {"Motor_Current", &LiveValues::motor_current},
    {"Voltage_Reference", &LiveValues::voltage_reference},
    {"Electric_Angle", &LiveValues::electric_angle},
    {"Speed_Reference", &LiveValues::speed_reference},
    {"Load_Speed", &LiveValues::load_speed},
    {"Target_Position", &LiveValues::target_position},
    {"Load_Position", &LiveValues::load_position},
};

// Variables the programs leave their results in.
constexpr const char* kResultNames[] = {"REFTST_V",    "var_i1",  "var_i2", "var_u2",
                                        "var_lf_long", "TINCTST", "theta_1"};

}  // namespace

SimulatedDrive::SimulatedDrive(const Scenario& scenario, const Clock& clock)
    : scenario_(scenario), clock_(clock) {
    core_ = std::make_unique<DriveCore>(scenario_, registers_);
    for (const ProgramInfo& info : ProgramCatalogue())
        for (const std::string& name : info.variables) variables_[name] = 0.0;
    for (const char* name : kResultNames) variables_[name] = 0.0;
    started_ = &variables_["STARTED"];
}

SimulatedDrive::~SimulatedDrive() = default;

const std::vector<std::string>& SimulatedDrive::DriveVariableNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v{"MER"};
        for (const char* n : kResultNames) v.push_back(n);
        for (const LiveName& l : kLiveNames) v.push_back(l.name);
        return v;
    }();
    return names;
}

bool SimulatedDrive::Fail(std::string text) {
    last_error_ = std::move(text);
    return false;
}

void SimulatedDrive::AdvanceToNow() {
    const double now = clock_.Now_s();
    // A period runs when its start lies before "now" by at least half a period,
    // so a clock advanced by whole periods never splits one.
    while (core_->time_s() + 0.5 * core_->pwm_period_s() <= now) StepOnce();
}

void SimulatedDrive::StepOnce() {
    DriveProgram* program = program_ && !program_->finished() ? program_.get() : nullptr;
    const DriveCore::StepResult loops = core_->Step(program);
    mer_value_ = core_->mer();
    if (program) {
        if (logger_.configured() && !logger_.started() && *started_ != 0 &&
            (!program->TriggersLogging() || program->log_trigger())) {
            logger_.Start(core_->time_s());
        }
        if (logger_.configured()) {
            if (loops.slow) logger_.Offer(1, core_->time_s());
            if (loops.fast) logger_.Offer(2, core_->time_s());
            program->set_log_state(logger_.full()      ? LogState::kFull
                                   : logger_.started() ? LogState::kRecording
                                                       : LogState::kWaiting);
        } else {
            program->set_log_state(LogState::kOff);
        }
        if (program->finished()) logger_.Close();
    }
    if (loops.fast && scope_.active()) scope_.Offer(unsolicited_);
}

const double* SimulatedDrive::Source(const std::string& name) {
    if (name == "MER") {
        mer_value_ = core_->mer();
        return &mer_value_;
    }
    for (const LiveName& l : kLiveNames)
        if (name == l.name) return &(core_->live().*(l.member));
    auto it = variables_.find(name);
    return it == variables_.end() ? nullptr : &it->second;
}

bool SimulatedDrive::ReadVariable(const std::string& name, double& value) {
    AdvanceToNow();
    const double* source = Source(name);
    if (!source) return Fail("Unknown drive variable \"" + name + "\".");
    value = *source;
    return true;
}

bool SimulatedDrive::WriteVariable(const std::string& name, double value) {
    AdvanceToNow();
    if (!std::isfinite(value)) return Fail("Invalid value for \"" + name + "\".");
    auto it = variables_.find(name);
    if (it == variables_.end()) {
        return Fail(Source(name) ? "The drive variable \"" + name + "\" is read-only."
                                 : "Unknown drive variable \"" + name + "\".");
    }
    it->second = value;
    return true;
}

bool SimulatedDrive::WriteRegister(const std::string& name, double value, int bits) {
    AdvanceToNow();
    if (bits != 16 && bits != 32) return Fail("A register is 16 or 32 bits wide.");
    if (name.empty()) return Fail("A register needs a name.");
    registers_.Write(name, value, bits);
    return true;
}

bool SimulatedDrive::ReadRegister(const std::string& name, double& value) {
    AdvanceToNow();
    if (!registers_.Has(name)) return Fail("Register \"" + name + "\" was never written.");
    value = registers_.Read(name);
    return true;
}

bool SimulatedDrive::ExecuteProgram(const std::string& name) {
    AdvanceToNow();
    auto program = MakeProgram(name, variables_);
    if (!program) return Fail("Unknown drive program \"" + name + "\".");
    if (program_ && !program_->finished()) program_->Stop(*core_);
    logger_.Close();
    core_->ClearFaults();
    program_ = std::move(program);
    program_->Load();
    if (logger_.configured()) logger_.Arm();
    return true;
}

bool SimulatedDrive::StopProgram() {
    AdvanceToNow();
    if (program_ && !program_->finished()) program_->Stop(*core_);
    logger_.Close();
    core_->PowerOff();
    return true;
}

bool SimulatedDrive::IsProgramRunning(bool& running) {
    AdvanceToNow();
    running = program_ && !program_->finished();
    return true;
}

bool SimulatedDrive::GetAxisOn(bool& on) {
    AdvanceToNow();
    on = core_->power_on();
    return true;
}

bool SimulatedDrive::ConfigureLogger(const drive::LoggerSettings& settings) {
    AdvanceToNow();
    if (settings.variables.empty()) {
        logger_.Configure(settings, {});
        return true;
    }
    if (settings.log_type != 1 && settings.log_type != 2) return Fail("The log type is 1 or 2.");
    if (settings.points <= 0 || settings.points > 1000000)
        return Fail("The logger holds 1 to 1000000 points.");
    if (settings.divider <= 0) return Fail("The sampling divider must be at least 1.");
    std::vector<const double*> sources;
    for (const std::string& name : settings.variables) {
        const double* source = Source(name);
        if (!source) return Fail("Unknown drive variable \"" + name + "\" for the logger.");
        sources.push_back(source);
    }
    const long long values =
        static_cast<long long>(settings.points) * static_cast<long long>(settings.variables.size());
    if (values > kLoggerCapacityValues)
        return Fail("The logger buffer holds " + std::to_string(kLoggerCapacityValues) +
                    " values (points x variables); " + std::to_string(settings.points) +
                    " points of " + std::to_string(settings.variables.size()) + " variables need " +
                    std::to_string(values) + ".");
    logger_.Configure(settings, std::move(sources));
    return true;
}

bool SimulatedDrive::IsLogComplete(bool& complete) {
    AdvanceToNow();
    complete = !logger_.configured() || logger_.complete();
    return true;
}

bool SimulatedDrive::UploadLog(std::vector<drive::LogPoint>& points) {
    AdvanceToNow();
    points = logger_.points();
    return true;
}

bool SimulatedDrive::ConfigureScope(const std::vector<std::string>& variables, int divider) {
    AdvanceToNow();
    std::vector<const double*> sources;
    for (const std::string& name : variables) {
        const double* source = Source(name);
        if (!source) return Fail("Unknown drive variable \"" + name + "\" for the scope.");
        sources.push_back(source);
    }
    scope_.Configure(std::move(sources), divider, core_->fast_period_s());
    return true;
}

std::vector<drive::UnsolicitedMessage> SimulatedDrive::PollUnsolicited() {
    AdvanceToNow();
    std::vector<drive::UnsolicitedMessage> out(std::make_move_iterator(unsolicited_.begin()),
                                               std::make_move_iterator(unsolicited_.end()));
    unsolicited_.clear();
    return out;
}

bool SimulatedDrive::SendCommand(const std::string& command) {
    AdvanceToNow();
    if (command == "!CAP;ENCAPI1;") {
        // Capture the position at the next index pulse.
        core_->ArmIndexCapture();
        return true;
    }
    core_->SetCommandError();
    return Fail("Unknown drive command \"" + command + "\".");
}

}  // namespace orvex::sim
