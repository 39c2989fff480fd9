#pragma once
// The host's contract with a drive: everything the host may do with one, in the
// drive's own units. The host owns this interface; the simulated drive (in process)
// and the fault-injecting wrapper of the tests implement it, and a drive on a serial
// or CAN line would be one more implementation. Header-only, standard library only,
// so any implementation can build on it without the host's setup model or Qt.
//
// What every implementation must honour:
//
// - Threading. The host calls a link from its user-interface thread only, one call
//   at a time, and never from two threads; an implementation needs no locking of its
//   own. A link may not call back into the host. Whatever it receives on its own
//   (scope frames, other unsolicited messages) it keeps until PollUnsolicited.
// - Time. Every call returns within a bounded time: the host waits for it with its
//   window timers and message pump stopped. A link over a line applies its own
//   time-out per request (a few hundred milliseconds at most, never an unbounded
//   wait) and reports an expired one as a failure. Nothing in the host sleeps; it
//   polls the program and logger state on 20 ms timer ticks, so no call should wait
//   for a program or an upload to finish.
// - Failure. Every call returns false on failure and leaves the reason, in words fit
//   for the user ("Timeout on the serial line."), in LastErrorText(), which the host
//   reads right after the failed call. A failed read leaves its output untouched. A
//   failed write, command or program start may or may not have reached the drive (a
//   line can lose the answer), so the host assumes neither: it reports the failure
//   and does not retry on its own. Nothing throws.
// - Units. Values are in drive units (counts, fixed point, register contents) as
//   doubles; the host's setup model does every conversion to physical units.

#include <cstdint>
#include <string>
#include <vector>

namespace orvex::drive {

/// Logger settings: what the drive's logger buffer records once a program starts.
struct LoggerSettings {
    /// 1: one point per slow-loop (speed/position) sample; 2: one per fast-loop
    /// (current) sample.
    int log_type = 1;
    /// Number of points the buffer holds; logging stops when it is full.
    int points = 0;
    /// Record one sample out of `divider` (1 = every sample).
    int divider = 1;
    /// Drive variables recorded at each point, in this order.
    std::vector<std::string> variables;
};

/// One logged point: element 0 the time in seconds since logging began, then one
/// value per logged variable in drive units.
using LogPoint = std::vector<double>;

/// One unsolicited message from the drive, as 16-bit words. Scope frames have
/// word 0 = payload length in words, word 1 = sequence number, word 2 = 0xE900.
using UnsolicitedMessage = std::vector<std::uint16_t>;

class DriveLink {
  public:
    virtual ~DriveLink() = default;

    /// Reads a drive or program variable in drive units (integers, long integers
    /// and fixed-point values all come back as double).
    virtual bool ReadVariable(const std::string& name, double& value) = 0;
    /// Writes a drive or program variable in drive units.
    virtual bool WriteVariable(const std::string& name, double value) = 0;
    /// Writes a register (a setup option) truncated to `bits` (16 or 32) bits. The
    /// register image takes any name.
    virtual bool WriteRegister(const std::string& name, double value, int bits) = 0;
    /// Reads a register back; false for a register that was never written and has
    /// no power-up default.
    virtual bool ReadRegister(const std::string& name, double& value) = 0;

    /// Loads and starts the drive program `program`; false (with the reason) for an
    /// unknown program. The logger, when configured, is armed with the program.
    virtual bool ExecuteProgram(const std::string& program) = 0;
    /// Stops the running program; the power stage goes off.
    virtual bool StopProgram() = 0;
    /// True while a program runs (including a continuous one).
    virtual bool IsProgramRunning(bool& running) = 0;
    /// Power stage state ("axis on").
    virtual bool GetAxisOn(bool& on) = 0;

    /// Configures the logger buffer for the next program; an empty variable list
    /// switches it off.
    virtual bool ConfigureLogger(const LoggerSettings& settings) = 0;
    /// True once the logger buffer is full or its program has ended.
    virtual bool IsLogComplete(bool& complete) = 0;
    /// The points recorded so far.
    virtual bool UploadLog(std::vector<LogPoint>& points) = 0;

    /// Streams the given variables as scope frames (unsolicited messages), one
    /// point per fast-loop sample times `divider`; an empty list stops streaming.
    virtual bool ConfigureScope(const std::vector<std::string>& variables, int divider) = 0;
    /// Takes the unsolicited messages that arrived since the last call.
    virtual std::vector<UnsolicitedMessage> PollUnsolicited() = 0;

    /// Sends a command string such as "!CAP;ENCAPI1;".
    virtual bool SendCommand(const std::string& command) = 0;

    /// The reason of the last failed call.
    virtual std::string LastErrorText() const = 0;
};

}  // namespace orvex::drive
