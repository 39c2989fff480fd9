#pragma once
// A read-back keeps what the user typed. The read-back sequence recomputes a
// parameter from the options it was encoded into; where that only adds rounding noise
// (60 V coming back as 59.99999999999999 V) the value already there encodes to the same
// registers and stays, so a saved setup says what the user wrote and two setups can be
// compared line by line. A value whose registers differ (an option changed, a test
// wrote a result, a limit moved) is replaced as before.

#include <vector>

#include "host/setup/setup.h"

namespace orvex {

using Conversion = int (*)(CMC_Setup*);

/// A register a parameter is encoded into, and the forward conversion that computes it.
struct Encoding {
    const char* option;
    Conversion forward;
};

/// A parameter that a read-back recomputes from options, with every register its
/// forward conversions derive from it.
struct EncodedParameter {
    Conversion read_back;
    const char* parameter;
    std::vector<Encoding> encodings;
};

/// Every read-back of a continuous value that has a forward conversion, the gains of
/// the gain table included. (Switches and choices come back exact; values derived only
/// from options, such as "Ts_S", have no typed value to keep.)
const std::vector<EncodedParameter>& EncodedParameters();

/// Runs the conversion `step`. When it is the read-back of a parameter of
/// EncodedParameters() and changes it, and the previous value lies within the range the
/// read-back gave it, gives the registers the setup holds through the forward
/// conversions and is what gives them (a clearly different value would not), the
/// previous value is put back. The registers are left exactly as they were. Any other
/// conversion simply runs. Returns the conversion's result.
int ReadBackKeepingTypedValue(CMC_Setup* setup, Conversion step);

/// Whether the drive gets the same register from two values of the option `option`:
/// the same 16- or 32-bit field of the truncated values.
bool SameRegister(const CMC_Parameter& option, double a, double b);

}  // namespace orvex
