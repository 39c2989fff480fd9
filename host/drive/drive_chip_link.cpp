#include "host/drive/drive_chip_link.h"

#include "host/drive/comm.h"

namespace axis {

bool DriveChipLink::ReadVariable(const std::string& name, double& internal_value,
                                 std::string& error) {
    if (comm_.ReadVariable(name, internal_value)) return true;
    error = comm_.LastError();
    return false;
}

bool DriveChipLink::WriteVariable(const std::string& name, double internal_value,
                                  std::string& error) {
    if (comm_.WriteVariable(name, internal_value)) return true;
    error = comm_.LastError();
    return false;
}

bool DriveChipLink::WriteParameter(const std::string& name, double internal_value,
                                   int register_bits, std::string& error) {
    const bool ok = register_bits > 0 ? comm_.WriteRegister(name, internal_value, register_bits)
                                      : comm_.WriteVariable(name, internal_value);
    if (!ok) error = comm_.LastError();
    return ok;
}

bool DriveChipLink::ExecuteString(const std::string& command, std::string& error) {
    if (comm_.SendCommand(command)) return true;
    error = comm_.LastError();
    return false;
}

}  // namespace axis
