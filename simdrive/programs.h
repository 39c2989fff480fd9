#pragma once
// Drive programs: small firmware applications the host starts by name. A program
// reads its inputs from the drive's variables, steers the drive core once per fast
// and slow sample, and leaves its results in variables. It sets STARTED to 1 once
// it runs, has the power stage on while it acts and switches it off when it has
// finished; a continuous program runs until it is stopped.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simdrive/drive_core.h"

namespace orvex::sim {

/// The drive's variables by name (program variables and drive variables), in
/// drive units.
using VariableStore = std::map<std::string, double>;

/// What the logger is doing, as far as a program cares.
enum class LogState { kOff, kWaiting, kRecording, kFull };

class DriveProgram {
  public:
    explicit DriveProgram(VariableStore& vars) : vars_(vars) {}
    virtual ~DriveProgram() = default;

    /// Runs before the first sample; the default sets STARTED to 0.
    virtual void Load() { Set("STARTED", 0); }
    /// Once per fast (current-loop) sample, before the current loop.
    void Fast(DriveCore& core);
    /// Once per slow sample, before the speed and position loops.
    void Slow(DriveCore& core);
    /// The host stopped the program.
    virtual void Stop(DriveCore& core) { Finish(core); }

    bool finished() const { return finished_; }
    /// Programs that wait for a phase of their own before logging say so here.
    virtual bool TriggersLogging() const { return false; }
    bool log_trigger() const { return log_trigger_; }
    void set_log_state(LogState state) { log_state_ = state; }

  protected:
    /// Whether the program needs the power stage; one that does waits with
    /// STARTED = 0 while the drive refuses to power on (ENABLE inactive).
    virtual bool NeedsPower() const { return true; }
    /// A program without the power stage that must finish a measurement before
    /// the host may take it as started returns true and calls MarkStarted itself.
    virtual bool DefersStarted() const { return false; }
    void MarkStarted() { Set("STARTED", 1); }
    /// Called once when the program starts running (power on if needed).
    virtual void Begin(DriveCore& core) {}
    /// Once per fast sample while running.
    virtual void FastSample(DriveCore& core) {}
    /// Once per slow sample while running.
    virtual void SlowSample(DriveCore& core) {}
    /// The power stage went off without the program asking (a protection
    /// tripped); the default ends the program.
    virtual void PowerLost(DriveCore& core) { Finish(core); }

    void Finish(DriveCore& core);
    double Get(const std::string& name) const;
    void Set(const std::string& name, double value) { vars_[name] = value; }
    void TriggerLogging() { log_trigger_ = true; }
    LogState log_state() const { return log_state_; }
    /// Seconds since the program began.
    double elapsed_s(const DriveCore& core) const { return core.time_s() - begin_s_; }

    VariableStore& vars_;

  private:
    bool began_ = false;
    bool finished_ = false;
    bool log_trigger_ = false;
    LogState log_state_ = LogState::kOff;
    double begin_s_ = 0;
};

struct ProgramInfo {
    std::string name;
    /// The program's own variables (inputs and outputs), STARTED first.
    std::vector<std::string> variables;
    bool continuous = false;
};

/// Every program the drive knows.
const std::vector<ProgramInfo>& ProgramCatalogue();
/// Makes a program by name; null for an unknown one.
std::unique_ptr<DriveProgram> MakeProgram(const std::string& name, VariableStore& vars);

}  // namespace orvex::sim
