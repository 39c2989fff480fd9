#pragma once
// Limits of parameters that follow from other parameters: times of at most 65535
// slow-loop samples, speeds and positions that the drive's 16-bit words can hold,
// bandwidths within their tuning range, test currents within the peak currents of
// drive and motor.

#include "host/setup/setup.h"

namespace orvex {

/// Sets the minimum and maximum (in base units) of every dependent parameter the
/// setup has, without changing any value. T_S is the slow-loop period computed from
/// "SLPER", "PWMPER" and "DSP_freq"; k_S and k_P are the load speed and position
/// scales.
///   "ERR_speed" max 32767 / |k_S|; "ERR_position" max 32767 / |k_P|;
///   "time_ERR_spd", "time_ERR_pos" max 32767 T_S [s];
///   "PB_C", "PB_S", "PB_P" from their "_minim" to their "_maxim" parameter;
///   tuning test times "TPP", "TNP", "TPS", "TNS", "TaPS", "TaNS" from T_S to
///   65535 T_S, "TaPP", "TaNP" from 2 T_S to 65535 T_S;
///   "TestPosition" +-min(TaPP, TaNP) / T_S x 32767 / |k_P|;
///   "TestSpeed" +-min("Limit_Speed", 32767 / |k_S|);
///   with the analogue reference: "filter" max 1 / (2 T_S) [1/s] and the end-value
///   and dead-band ranges of the reference;
///   with the electric angle controller ("KPTHT"): "MAX_CURRENT" from 0 to
///   min("In", "InPS") [A];
///   with biquad filters ("IQREF_BQ_INI"): the filter frequencies "BQFilterF1%d" and
///   "BQFilterF2%d" max 0.5 / T_S [Hz], the slow loop's Nyquist frequency.
/// An entry whose limits need a parameter the setup lacks is skipped. A limit that
/// comes out infinite or undefined (a zero scale) is refused by the setup and the old
/// one stays.
void UpdateParameterRanges(CMC_Setup* setup);

}  // namespace orvex
