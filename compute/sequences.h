#pragma once
// The two sequences that run the conversions over a whole setup, in their fixed
// order, and the update the host asks for after loading or changing a setup.

#include "host/setup/setup.h"

namespace orvex {

/// Computes every option (drive register) from the user's parameters.
void ComputeOptionsFromParameters(CMC_Setup* setup);
/// Recomputes every parameter that derives from options, so the editor shows what the
/// drive will really use. A value the user typed stays where it already gives the
/// registers (no rounding noise is written back).
void ReadBackParametersFromOptions(CMC_Setup* setup);
/// Read-back, dependent ranges, loop closure, unit types by transmission, step units;
/// each step's result is ignored. A null setup does nothing.
void ComputeAllOptions(CMC_Setup* setup);
/// What OK of the setup editor does to the setup before it is saved: the forward
/// sequence, so that every option matches the parameters (an option a test dialog set
/// aside while it ran, such as "ABSTART_MINMOVE", included), and the loop-closure
/// settings. A null setup does nothing.
void ConfirmEditedSetup(CMC_Setup* setup);

}  // namespace orvex
