#pragma once
// Writing controller gains to a drive while a test runs, so that the user sees the
// effect of a changed gain in the very run that is going on.

#include <initializer_list>

class CMC_Setup;

namespace orvex {

/// Writes the options `names` to the drive in the order given, each only when the
/// one before was written: a mantissa must never reach the drive with the shift of
/// another gain. True when all were written.
bool WriteOptionsToDrive(CMC_Setup* setup, std::initializer_list<const char*> names);

}  // namespace orvex
