#pragma once
// The supply voltage from the drive's bus voltage measurement.

#include <optional>

class CMC_Setup;

namespace orvex {

/// The DC supply voltage [V] from the bus voltage ADC reading `counts`:
/// counts / GetVoltageMeasureScale (ADCmax / "VdcMaxMeasurable"), rounded to
/// hundredths of a volt. Empty when the scale gives no finite voltage (a setup
/// without "VdcMaxMeasurable", or one of 0).
std::optional<double> SupplyVoltageFromCounts(const CMC_Setup* setup, double counts);

}  // namespace orvex
