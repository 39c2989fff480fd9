#pragma once
// Facts of the drive's firmware that the module's computation, its dialogs, the host
// and the simulated drive must agree on: the fixed-point full scale, the value that
// switches a control-error protection off, and the bits of the motion error and
// protection control registers. Each is written here once, by name, so no other file
// spells one as a bare number.

#include <cstdint>

namespace orvex::drive {

/// The drive's fixed-point 1.0 and the full scale of its signed 16-bit words: a gain
/// is mantissa x 2^shift / kFullScale, a voltage command of kFullScale is the whole
/// bus voltage, and a saturation limit L is stored as kFullScale - L. It is 32767,
/// not 32768, because 1.0 must itself fit in a signed 16-bit word. A double, like
/// every value that crosses the drive link.
inline constexpr double kFullScale = 32767.0;

/// A control-error time option ("TERRMAX", "TSERRMAX", in slow samples) holding this
/// value, all ones of its 16-bit register, switches that protection off.
inline constexpr double kProtectionOff = 65535.0;

/// Bits of the motion error register "MER": why the drive stopped its motion, and
/// the inputs that keep it from moving. Other bits are not used by the host.
enum MerBit : std::uint16_t {
    kMerShortCircuit = 1 << 1,
    kMerControlError = 1 << 3,  ///< position or speed error beyond its window too long
    kMerI2t = 1 << 4,           ///< drive or motor I2t limit
    kMerCommandError = 1 << 5,  ///< an unknown command; informational, stops nothing
    kMerPositiveLimit = 1 << 6,
    kMerNegativeLimit = 1 << 7,
    kMerOverCurrent = 1 << 8,
    kMerOverVoltage = 1 << 9,
    kMerUnderVoltage = 1 << 10,
    kMerEnableInactive = 1 << 15,
};

/// Bits of the protection control register "PCR": each switches one protection on.
/// Bit 6 and the high byte belong to other drive functions.
enum PcrBit : std::uint16_t {
    kPcrOverCurrent = 1 << 0,
    kPcrMotorI2t = 1 << 1,
    kPcrMotorOverTemperature = 1 << 2,
    kPcrDriveOverTemperature = 1 << 3,
    kPcrOverVoltage = 1 << 4,
    kPcrUnderVoltage = 1 << 5,
    kPcrDriveI2t = 1 << 7,
};

/// Every protection switch of "PCR"; the register's other bits are not protections.
inline constexpr std::uint16_t kPcrProtectionBits =
    kPcrOverCurrent | kPcrMotorI2t | kPcrMotorOverTemperature | kPcrDriveOverTemperature |
    kPcrOverVoltage | kPcrUnderVoltage | kPcrDriveI2t;

}  // namespace orvex::drive
