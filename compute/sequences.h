#pragma once
// The two sequences that run the conversions over a whole setup, in their fixed
// order, and the update the host asks for after loading or changing a setup.

#include "host/setup/setup.h"

namespace orvex {

/// Computes every option (drive register) from the user's parameters.
void ComputeOptionsFromParameters(CMC_Setup* setup);
/// Recomputes every parameter that derives from options, so the editor shows what the
/// drive will really use.
void ReadBackParametersFromOptions(CMC_Setup* setup);
/// Read-back, dependent ranges, loop closure, unit types by transmission, step units;
/// each step's result is ignored. A null setup does nothing.
void ComputeAllOptions(CMC_Setup* setup);

}  // namespace orvex
