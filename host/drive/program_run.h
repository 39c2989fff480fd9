#pragma once
// Starting a drive program and reaching its variables: the drive side of the test
// dialogs' ExecuteCode, GetUserVariableValue and SetUserVariableValue, kept apart
// from the dialogs so that it can be used (and tested) without a window.

#include <string>

class CMC_CoffFormat;
class CMC_Logger;
class CMC_Setup;

namespace axis {

/// What a read gives for a value that does not exist (a drive value that is not a
/// number, a parameter the host could not determine).
inline constexpr double kNoValueMarker = 1.2345e100;

/// Starts the drive program `name` on the drive connected to `setup`: every option
/// of the setup is written to the drive's registers first (a program runs with the
/// setup being edited, not with what the drive held before), then the logger is set
/// up for the run (or switched off when there is none), then the program starts.
/// `program`, when given, must be the loaded descriptor of `name`. False with the
/// reason in `error` when any of it fails; nothing is started then.
bool StartDriveProgram(CMC_Setup* setup, const std::string& name, CMC_CoffFormat* program,
                       CMC_Logger* logger, std::string& error);

/// Reads the program variable `name` (drive units). The program must be loaded and
/// list the variable. A value that is not a finite number reads as kNoValueMarker.
bool ReadProgramVariable(CMC_Setup* setup, const CMC_CoffFormat* program, const std::string& name,
                         double& value, std::string& error);
/// Writes the program variable `name` (drive units); a non-finite value is refused.
bool WriteProgramVariable(CMC_Setup* setup, const CMC_CoffFormat* program, const std::string& name,
                          double value, std::string& error);

/// Stops the running drive program (the power stage goes off).
bool StopDriveProgram(CMC_Setup* setup, std::string& error);
/// The power stage state of the drive connected to `setup`.
bool ReadAxisOn(CMC_Setup* setup, bool& on, std::string& error);

}  // namespace axis
