#pragma once
// Units of the load quantities by transmission type, the motor-step units, and the
// factors and offsets between the drive's internal units and physical units.

#include "host/setup/setup.h"

namespace orvex {

/// Gives the position, speed and acceleration quantities of the load the rotary or
/// the linear unit type, from "TransmissionType" (0 rotary, else linear). Returns 1.
int UpdateUnitTypesByTransmission(CMC_Setup* setup);

/// Merges "steps", "steps/s", "steps/s^2" and "steps/s^3" on the radian units with
/// f = (Motor_transmission / Load_transmission) x (NoMotorSteps / 2pi) motor steps
/// per load radian. 1 when all four were merged; 0 at the first refusal.
int UpdateStepUnits(CMC_Setup* setup);

/// Factor that converts a drive-internal value of `name` into `unit`:
/// physical = (internal + offset) x factor. 1.0 for a unit it does not know.
double GetScaleFactor(CMC_Setup* setup, const char* unit, const char* name);
/// Offset in internal units; nonzero only for degrees Celsius.
double GetScaleOffset(CMC_Setup* setup, const char* unit);

/// Hands the setup this module's scale factors, so internal units work without the
/// plug-in being loaded (tests, the computation benchmarks).
void InstallScaleProvider(CMC_Setup* setup);

}  // namespace orvex
