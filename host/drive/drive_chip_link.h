#pragma once
// The setup model's seam to the drive (axis::ChipLink), served by a connection:
// CMC_Variable::ReadFromChip, CMC_Parameter::WriteToChip and CMC_Setup::ExecuteString
// reach the drive through here.

#include "host/setup/chip_link.h"

class CMC_Comm;

namespace axis {

class DriveChipLink : public ChipLink {
  public:
    explicit DriveChipLink(CMC_Comm& comm) : comm_(comm) {}

    bool ReadVariable(const std::string& name, double& internal_value, std::string& error) override;
    bool WriteVariable(const std::string& name, double internal_value, std::string& error) override;
    /// An option goes into its register (16 or 32 bits); any other parameter into
    /// the drive variable of that name.
    bool WriteParameter(const std::string& name, double internal_value, int register_bits,
                        std::string& error) override;
    bool ExecuteString(const std::string& command, std::string& error) override;

    CMC_Comm& comm() const { return comm_; }

  private:
    CMC_Comm& comm_;
};

}  // namespace axis
