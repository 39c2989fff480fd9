#pragma once
// The report of `axishost compute`: every parameter with its value, internal value,
// limits and units, as JSON.

#include <string>

class CMC_Setup;

namespace axishost {

/// The "format" member that marks a file as such a report.
inline constexpr const char* kComputeReportFormat = "orvex-compute-report";

std::string ComputeReport(const CMC_Setup& setup);

/// Why `out` must not be overwritten with a report without being told to: it is the
/// setup file being read (under any spelling or hard link), or an existing file that is
/// not a report of this command. Empty when the report may go there.
std::string ReportTargetConflict(const std::string& out, const std::string& setup_file);

/// Whether two paths name one file: the same file on disk when both exist, else the same
/// absolute path.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace axishost
