#pragma once
// What the setup model needs of a connected drive. The host's drive layer installs
// an implementation on the setup (CMC_Setup::SetChipLink); with none installed every
// drive access fails with "No drive connected.".

#include <string>

namespace axis {

class ChipLink {
  public:
    virtual ~ChipLink() = default;
    /// Reads a drive variable in drive (internal) units.
    virtual bool ReadVariable(const std::string& name, double& internal_value,
                              std::string& error) = 0;
    /// Writes a drive variable in drive (internal) units.
    virtual bool WriteVariable(const std::string& name, double internal_value,
                               std::string& error) = 0;
    /// Writes one parameter of the setup to the drive: an option goes into its
    /// register (truncated to `register_bits`, 16 or 32), any other parameter to the
    /// drive variable of that name in internal units (`register_bits` 0).
    virtual bool WriteParameter(const std::string& name, double internal_value, int register_bits,
                                std::string& error) = 0;
    /// Sends a command string such as "!CAP;ENCAPI1;" to the drive.
    virtual bool ExecuteString(const std::string& command, std::string& error) = 0;
};

}  // namespace axis
