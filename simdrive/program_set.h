#pragma once
// The two families of drive programs, made by name (internal to simdrive).

#include <memory>
#include <string>

#include "host/link/drive_facts.h"
#include "simdrive/programs.h"

namespace orvex::sim {

std::unique_ptr<DriveProgram> MakeIdentificationProgram(const std::string& name,
                                                        VariableStore& vars);
std::unique_ptr<DriveProgram> MakeTuningProgram(const std::string& name, VariableStore& vars);

// Shared by the programs: voltage counts above which a test voltage is refused
// (the current loop needs headroom; the bridge saturates at full scale).
inline constexpr double kMaxTestVoltage = 0.9 * drive::kFullScale;

}  // namespace orvex::sim
