#pragma once
// The one way the host and the module write a file the user keeps: setups, the motor
// database, logged data, reports, pictures and exported curves.
//
// A save either leaves the new file in place or changes nothing the user had. The new
// text goes into a temporary file created exclusively under an unpredictable name in
// the target's folder (never through a link someone left there), is flushed to disk,
// and only then replaces the target by a rename. The previous version can be kept as
// the one backup, TARGET.bak; a backup that cannot be made fails the save and leaves
// the old file where it was.

#include <string>
#include <string_view>

namespace axis {

struct SaveOptions {
    /// Keep the file being replaced as PATH.bak (replacing an older backup).
    bool keep_backup = true;
};

/// Writes `bytes` to `path` atomically. Refuses a target that is a folder, a symbolic
/// link or anything else but a regular file, and a backup name taken by anything but
/// a regular file. Returns an empty string on success, else what went wrong and where;
/// the target and its backup are then as they were.
std::string SaveFileAtomically(const std::string& path, std::string_view bytes,
                               const SaveOptions& options = {});

/// Test seam: called after the temporary file is written and before the backup is made
/// and it replaces the old file; returning false aborts the save there (as a crash would).
void SetSaveInterruptHookForTesting(bool (*hook)());

}  // namespace axis
