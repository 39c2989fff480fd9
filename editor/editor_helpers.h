#pragma once
// Small helpers the editor dialogs share.

#include <QString>
#include <initializer_list>

#include "compute/option_codec.h"
#include "compute/sequences.h"
#include "host/setup/setup.h"
#include "host/setup/value_rules.h"

namespace orvex {

/// Whether the setup has every parameter named, asked silently: a drive that lacks
/// one lacks the feature.
inline bool SetupHas(const CMC_Setup* setup, std::initializer_list<const char*> names) {
    return Probe(setup, names);
}

/// Whether the switch parameter is on (its value truncated is exactly 1).
inline bool SwitchOn(const CMC_Setup* setup, const char* name) {
    return axis::IsSwitchOn(setup->GetParameterValueInBaseUnit(name));
}

/// The parameter's value truncated to an integer.
inline int IntValue(const CMC_Setup* setup, const char* name) {
    return TruncToInt32(setup->GetParameterValueInBaseUnit(name));
}

/// Options recomputed from the parameters, then the parameters read back from them, so
/// both sides agree before and after a sub-dialog or a test works on the setup.
inline void BringOptionsInStep(CMC_Setup* setup) {
    ComputeOptionsFromParameters(setup);
    ReadBackParametersFromOptions(setup);
}

/// Tooltip of a button whose test is not part of the module yet.
inline QString TestNotAvailableText() {
    return QStringLiteral("This test is not available yet.");
}

}  // namespace orvex
