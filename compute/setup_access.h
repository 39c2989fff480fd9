#pragma once
// The few by-name reads and writes every conversion uses. Lookups here do not test
// for presence: a conversion checks its names with HasAll before it reads or writes.

#include "compute/option_codec.h"
#include "host/setup/setup.h"

namespace orvex {

/// The parameter's value in its base unit.
inline double Base(const CMC_Setup* s, const char* name) {
    return s->GetParameterValueInBaseUnit(name);
}
/// The parameter's value in drive units.
inline double Internal(const CMC_Setup* s, const char* name) {
    return s->GetParameterValueInInternalUnit(name);
}
/// Writes a base-unit value (clamped to the limits; a non-finite value is refused).
inline void SetBase(CMC_Setup* s, const char* name, double value) {
    s->SetParameterValueInBaseUnit(name, value);
}
/// Full scale of the drive's ADC as a double.
inline double AdcMax(const CMC_Setup* s) {
    return static_cast<double>(Compute_ADCMaxValue(s));
}

/// Gives `name` the range [min, max], then the value; 0 (nothing written) when the
/// range is refused.
inline int SetRangedValue(CMC_Setup* s, const char* name, double min, double max, double value) {
    CMC_Parameter* p = s->FindParameter(name);
    if (!p || !SetParameterRange(p, min, max)) return 0;
    p->SetValueInBaseUnit(value);
    return 1;
}

}  // namespace orvex
