#pragma once
// A drive program as the host knows it: its descriptor lists the program's own
// variables (inputs, results and "STARTED"), so that the host can refuse a name the
// program does not have before it ever reaches the drive. Descriptors are JSON files
// named after the program, found under the program folder:
//
//   {"format": "orvex-program", "version": 1, "program": "VDC_Detection_Test",
//    "description": "...",
//    "variables": [{"name": "STARTED", "role": "status"}, {"name": "In1", "role": "input"}]}
//
// role: "status" (STARTED), "input" (written before the start), "result" (read
// after it), or "inout".

#include <string>
#include <string_view>
#include <vector>

namespace axis {

/// The folder the descriptors are read from: ":/orvex/programs" (the module's built-in
/// resources) unless set otherwise.
const std::string& ProgramDirectory();
void SetProgramDirectory(const std::string& directory);

/// The descriptor path of the program `name`; empty for a name that is not a plain
/// program name (letters, digits and '_' only), so that no name can reach outside
/// the program folder.
std::string ProgramPath(std::string_view name);

}  // namespace axis

class CMC_CoffFormat {
  public:
    struct Variable {
        std::string name;
        std::string role;
    };

    CMC_CoffFormat() = default;

    void SetFileName(const std::string& path) { file_name_ = path; }
    const std::string& GetFileName() const { return file_name_; }

    /// Reads the descriptor named by the file name; nonzero on success. On failure the
    /// program is not loaded and GetErrorText says why.
    int ReadCoff();
    /// Reads a descriptor from its text, as ReadCoff does once the file is read; the
    /// file name only names it in messages.
    int ReadCoffText(std::string_view text);
    bool IsLoaded() const { return loaded_; }

    const std::string& GetProgramName() const { return program_; }
    const std::string& GetDescription() const { return description_; }
    const std::vector<Variable>& GetVariables() const { return variables_; }
    /// The variable of this program named `name` (letter case ignored), or null.
    const Variable* FindVariable(std::string_view name) const;

    /// Why the last ReadCoff failed.
    const std::string& GetErrorText() const { return error_; }

  private:
    bool Fail(std::string text);

    std::string file_name_;
    bool loaded_ = false;
    std::string program_;
    std::string description_;
    std::vector<Variable> variables_;
    std::string error_;
};
