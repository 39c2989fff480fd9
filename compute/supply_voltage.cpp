#include "compute/supply_voltage.h"

#include <cmath>

#include "compute/scales.h"
#include "host/setup/host_math.h"
#include "host/setup/setup.h"

namespace orvex {

std::optional<double> SupplyVoltageFromCounts(const CMC_Setup* setup, double counts) {
    {
        axis::ScopedSilentLookup silent;
        if (!setup->FindParameter("VdcMaxMeasurable")) return std::nullopt;
    }
    // A measurable maximum of 0 makes the scale infinite and every reading 0 V: no
    // measurement at all, not a supply of 0 V.
    const double counts_per_volt = GetVoltageMeasureScale(setup);
    if (!std::isfinite(counts_per_volt) || counts_per_volt <= 0.0) return std::nullopt;
    const double volts = RoundDecimalValue(counts / counts_per_volt, 2);
    if (!std::isfinite(volts)) return std::nullopt;
    return volts;
}

}  // namespace orvex
