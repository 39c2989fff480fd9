#pragma once
// The simulated drive behind the DriveLink interface: the drive core, its
// registers and variables, the running program, the logger and the scope. It
// computes lazily: every call first runs the drive up to its clock's "now".

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "host/link/drive_link.h"
#include "simdrive/clock.h"
#include "simdrive/drive_core.h"
#include "simdrive/logger.h"
#include "simdrive/programs.h"
#include "simdrive/registers.h"
#include "simdrive/scenario.h"

namespace orvex::sim {

class SimulatedDrive : public drive::DriveLink {
  public:
    /// The drive starts powered down with the firmware's register defaults. The
    /// clock must outlive the drive.
    SimulatedDrive(const Scenario& scenario, const Clock& clock);
    ~SimulatedDrive() override;

    bool ReadVariable(const std::string& name, double& value) override;
    bool WriteVariable(const std::string& name, double value) override;
    bool WriteRegister(const std::string& name, double value, int bits) override;
    bool ReadRegister(const std::string& name, double& value) override;
    bool ExecuteProgram(const std::string& program) override;
    bool StopProgram() override;
    bool IsProgramRunning(bool& running) override;
    bool GetAxisOn(bool& on) override;
    bool ConfigureLogger(const drive::LoggerSettings& settings) override;
    bool IsLogComplete(bool& complete) override;
    bool UploadLog(std::vector<drive::LogPoint>& points) override;
    bool ConfigureScope(const std::vector<std::string>& variables, int divider) override;
    std::vector<drive::UnsolicitedMessage> PollUnsolicited() override;
    bool SendCommand(const std::string& command) override;
    std::string LastErrorText() const override { return last_error_; }

    /// Runs the drive up to the clock's present time.
    void AdvanceToNow();
    /// Names of the drive variables (not program variables), for reports.
    static const std::vector<std::string>& DriveVariableNames();
    /// The physics, for tests that check it directly.
    const DriveCore& core() const { return *core_; }
    /// Simulated time the drive has computed up to [s].
    double time_s() const { return core_->time_s(); }

  private:
    void StepOnce();
    const double* Source(const std::string& name);
    bool Fail(std::string text);

    Scenario scenario_;
    const Clock& clock_;
    RegisterImage registers_;
    std::unique_ptr<DriveCore> core_;
    VariableStore variables_;
    double mer_value_ = 0;
    const double* started_ = nullptr;  // STARTED, looked at every period
    std::unique_ptr<DriveProgram> program_;
    LoggerBuffer logger_;
    ScopeStreamer scope_;
    std::deque<drive::UnsolicitedMessage> unsolicited_;
    std::string last_error_;
};

}  // namespace orvex::sim
