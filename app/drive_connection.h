#pragma once
// The drive axishost talks to: the simulated drive in this process (a scenario file
// describes its motor, load, supply and faults; its clock follows the wall clock),
// or none.
//
//   --drive sim            the default scenario (resources/sim/default.json)
//   --drive sim:NAME       resources/sim/NAME.json
//   --drive sim:PATH.json  a scenario file
//   --drive none           no drive: every drive access fails with "No drive connected."

#include <memory>
#include <string>
#include <vector>

class CMC_Setup;

namespace axishost {

/// Takes "--drive DRIVE" (or "--drive=DRIVE") out of `args`; the last one given wins.
/// False with `error` set when DRIVE is missing.
bool TakeDriveOption(std::vector<std::string>& args, std::string& choice, std::string& error);

/// The folder of the shipped resources: $ORVEX_RESOURCE_DIR when set, else the
/// source tree's resources folder this build was made from.
std::string ResourceDirectory();

/// How the simulated drive's time runs: with the wall clock (someone watches), or
/// only when the host advances it (a headless run goes as fast as the machine).
enum class DriveClock { kRealTime, kManual };

class DriveConnection {
  public:
    DriveConnection();
    ~DriveConnection();
    DriveConnection(const DriveConnection&) = delete;
    DriveConnection& operator=(const DriveConnection&) = delete;

    /// Connects as `choice` says (see above); false with `error` set for a choice or a
    /// scenario that cannot be used.
    bool Open(const std::string& choice, std::string& error,
              DriveClock clock = DriveClock::kRealTime);
    /// Installs the connection on the setup (nothing for "none").
    void Attach(CMC_Setup* setup);
    void Detach(CMC_Setup* setup);
    /// Whether a simulated drive on a manual clock is connected.
    bool HasManualClock() const;
    /// Moves a manual clock forward (nothing for any other drive).
    void AdvanceClock(double seconds);
    /// What is connected, for messages ("simulated drive (default.json)", "none").
    const std::string& Description() const { return description_; }

  private:
    struct Simulated;
    std::unique_ptr<Simulated> sim_;
    std::string description_ = "none";
};

}  // namespace axishost
