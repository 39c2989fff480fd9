#pragma once
// Setup files: JSON ("format": "orvex-setup", "version": 1). Loading checks every
// field and reports the first problem with its place; a file that fails to load
// changes nothing. Saving is atomic and keeps one backup (FILE.bak).

#include <memory>
#include <string>
#include <vector>

#include "host/setup/file_save.h"
#include "host/setup/setup.h"

namespace axis {

struct SetupLoadResult {
    std::unique_ptr<CMC_Setup> setup;   ///< null when the file was refused
    std::string error;                  ///< "parameters[12].max: not a number" ...
    std::vector<std::string> warnings;  ///< values outside their limits, loaded as stored
    bool ok() const { return setup != nullptr; }
};

/// Parses setup JSON text. `origin` names the source in messages.
SetupLoadResult ParseSetup(const std::string& text, const std::string& origin = "setup");
/// Reads and parses a setup file.
SetupLoadResult LoadSetupFile(const std::string& path);

/// The setup as JSON text, in the file format (stable: load then save is identical).
std::string SerializeSetup(const CMC_Setup& setup);

/// Writes the setup with SaveFileAtomically (file_save.h): a temporary file in the same
/// folder, flushed and synced, the old file kept as PATH.bak, then renamed over PATH.
/// Returns an empty string on success, else what went wrong (the old file is then
/// untouched).
std::string SaveSetupFile(const CMC_Setup& setup, const std::string& path);

}  // namespace axis
