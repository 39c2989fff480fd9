#pragma once
// The drive's fixed-point conventions and the range setter every read-back uses.
//
// The drive treats 32767 as 1.0 (not 32768). A gain K is a 15-bit mantissa and a
// power-of-two shift: K = mantissa x 2^shift / 32767. The shift is the smallest
// n >= 0 with K <= 2^n, so the mantissa never exceeds 32767.

#include <functional>

#include "host/link/drive_facts.h"
#include "host/setup/setup.h"

namespace orvex {

/// The drive's fixed-point 1.0, as the codecs name it.
inline constexpr double kFixedOne = drive::kFullScale;

/// Gives `p` the range [min, max] in an order that keeps minimum <= maximum at every
/// step, whatever the old range was. 1 on success; 0 when min > max (nothing changes).
int SetParameterRange(CMC_Parameter* p, double min, double max);

/// 0 when K <= 1, else ceil(ln K / ln 2).
double EncodeGainShift(double gain);
/// K x 32767 when K <= 1, else K x 32767 / 2^shift. Unrounded.
double EncodeGainMantissa(double gain);
/// mantissa x 2^shift / 32767.
double DecodeGain(double mantissa, double shift);

/// Truncation toward zero to a 32-bit integer (saturated), as the drive stores
/// counts. NaN gives 0.
int TruncToInt32(double value);
/// The 16-bit register field of a truncated value (bits 0-15, unsigned).
int Reg16(double value);

/// Looks up every name of `names` in `setup`; false when one is absent (reported
/// while g_bShowErrors is set). The conversions call it before writing anything.
bool HasAll(const CMC_Setup* setup, std::initializer_list<const char*> names);
/// A silent probe: true when the setup has every name (g_bShowErrors cleared and
/// restored).
bool Probe(const CMC_Setup* setup, std::initializer_list<const char*> names);

/// Encodes the gain parameter `gain` into its mantissa and shift options.
/// 0 when a name is absent.
int EncodeGainOptions(CMC_Setup* setup, const char* gain, const char* mantissa, const char* shift);
/// Decodes mantissa and shift options into the gain parameter, after giving it the
/// range 0 to 16384. 0 when a name is absent.
int DecodeGainOptions(CMC_Setup* setup, const char* gain, const char* mantissa, const char* shift);

/// True when the setup has every name of every group; every missing name is reported
/// (while g_bShowErrors is set), not just the first.
bool HasAllOf(const CMC_Setup* setup,
              std::initializer_list<std::initializer_list<const char*>> groups);

/// The value a read-back shows for a register that its forward conversion truncates:
/// `inverse` (the read-back formula), raised by the smallest doubling step from one ulp
/// that makes trunc(forward(value)) equal trunc(`reg`) again. Rounding in the inverse
/// can land a hair below the register, and truncation would then lose one count on
/// every forward-then-read-back cycle. `forward` must increase with its argument. The
/// inverse comes back unchanged when it already reproduces the register, or when no
/// small raise does (a register outside the forward conversion's reach).
double InverseOfTruncatedRegister(double inverse, double reg,
                                  const std::function<double(double)>& forward);

}  // namespace orvex
