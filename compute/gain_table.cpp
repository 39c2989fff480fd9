#include "compute/gain_table.h"

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
    all &= gain.read_back(setup);
    return all;
}

}  // namespace orvex
