#pragma once
// The host's communication layer: one connection to one drive, over a DriveLink
// (the simulated drive in process, or one day a drive on a line). Every access the
// host makes to the drive goes through here, so the reason of the last failure is
// kept in one place (GetLastErrorText) and unsolicited drive messages (scope frames)
// are dispatched to the handlers that asked for them.
//
// The host has one connection at a time: the CMC_Comm constructed last and still
// alive is the active one, which the static calls below reach.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/link/drive_link.h"

class CMC_Setup;

namespace axis {
class DriveChipLink;

/// Called for each unsolicited message (16-bit words; word 0 the payload length,
/// word 2 the message tag). Returns 0 when it handled the message; anything else
/// passes it on to the next handler.
using UnsolicitedMsgHandler = std::function<int(const std::uint16_t* words, std::size_t count)>;
}  // namespace axis

class CMC_Comm {
  public:
    /// Connects over `link`, which must outlive this object, and becomes the active
    /// connection.
    explicit CMC_Comm(orvex::drive::DriveLink& link);
    ~CMC_Comm();
    CMC_Comm(const CMC_Comm&) = delete;
    CMC_Comm& operator=(const CMC_Comm&) = delete;

    /// The active connection, or null when no drive is connected.
    static CMC_Comm* Active();
    /// The connection whose chip link is installed on `setup`, or null.
    static CMC_Comm* FromSetup(const CMC_Setup* setup);

    /// Installs this connection on the setup, so that its variables and parameters
    /// read from and write to this drive (CMC_Variable::ReadFromChip ...).
    void Attach(CMC_Setup* setup);
    /// Removes this connection from the setup when it is the one installed there.
    void Detach(CMC_Setup* setup);

    /// The last communication error of the active connection ("No drive connected."
    /// when there is none).
    static std::string GetLastErrorText();

    /// Registers a handler for unsolicited messages; handlers are asked in the order
    /// registered. Returns an id for Unregister (never 0).
    static int RegisterReceiveUnsolicitedMsgHandler(axis::UnsolicitedMsgHandler handler);
    static void UnregisterReceiveUnsolicitedMsgHandler(int id);
    /// Takes the unsolicited messages that arrived on the active connection and hands
    /// each to the handlers. Returns the number of messages a handler took. A call
    /// made from inside a handler does nothing (returns 0), so a handler that pumps
    /// messages cannot re-enter the dispatch.
    static int CheckForUnrequestedMessages();
    /// The same, asking `handler` first (a dialog's own frame handler), then the
    /// registered ones.
    static int CheckForUnrequestedMessages(const axis::UnsolicitedMsgHandler& handler);

    // Drive access in drive units; false on failure with the reason kept for
    // GetLastErrorText.
    bool ReadVariable(const std::string& name, double& value);
    bool WriteVariable(const std::string& name, double value);
    bool WriteRegister(const std::string& name, double value, int bits);
    bool ExecuteProgram(const std::string& program);
    bool StopProgram();
    bool IsProgramRunning(bool& running);
    bool GetAxisOn(bool& on);
    bool ConfigureLogger(const orvex::drive::LoggerSettings& settings);
    bool IsLogComplete(bool& complete);
    bool UploadLog(std::vector<orvex::drive::LogPoint>& points);
    bool ConfigureScope(const std::vector<std::string>& variables, int divider);
    bool SendCommand(const std::string& command);

    /// This connection's last error text.
    const std::string& LastError() const { return last_error_; }
    /// Records a failure found on the host side of the link (a refused name ...).
    void SetLastError(std::string text) { last_error_ = std::move(text); }

  private:
    bool Check(bool ok, const char* what);

    orvex::drive::DriveLink& link_;
    std::unique_ptr<axis::DriveChipLink> chip_link_;
    std::string last_error_;
};
