#include "compute/gain_table.h"

#include "compute/typed_values.h"
#include "host/setup/names.h"

namespace orvex {

const GainOptions* FindGainOptions(std::string_view gain) {
    for (const GainOptions& g : kGainOptions)
        if (axis::NamesEqual(gain, g.gain)) return &g;
    return nullptr;
}

int ReencodeGain(CMC_Setup* setup, const GainOptions& gain) {
    int all = 1;
    if (gain.encode_high_shift) all &= gain.encode_high_shift(setup);
    all &= gain.encode_shift(setup);
    all &= gain.encode_mantissa(setup);
    // The gain as typed stays when it is what the options now hold (no rounding noise).
    all &= ReadBackKeepingTypedValue(setup, gain.read_back);
    return all;
}

}  // namespace orvex
