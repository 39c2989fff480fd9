#pragma once
// What the commands that show dialogs share: the display check, the Qt application,
// and the trial-run options of the modal seam (--snapshot DIR, --auto cancel|ok).

#include <memory>
#include <string>
#include <vector>

class QApplication;

namespace axishost {

/// Qt wants a private runtime folder and complains on every start without one (a
/// root shell or a CI job seldom has XDG_RUNTIME_DIR): gives it one of our own.
void EnsureRuntimeDir();

struct UiOptions {
    std::string snapshot_dir;  ///< every dialog and message box leaves a PNG here
    /// "cancel" or "ok": each dialog and message box gets that answer as soon as it
    /// is shown; empty: the user answers.
    std::string auto_answer;
};

/// Makes the snapshot folder if needed; why pictures cannot be saved in it, or empty.
std::string PrepareSnapshotDir(const std::string& dir);

/// Takes --snapshot DIR and --auto cancel|ok out of `args`; false with `error` set for a
/// malformed option or a snapshot folder that cannot be written.
bool TakeUiOptions(std::vector<std::string>& args, UiOptions& options, std::string& error);

/// Whether Qt has somewhere to show windows: DISPLAY, WAYLAND_DISPLAY or
/// QT_QPA_PLATFORM set.
bool HasDisplay();
/// The message given when there is none.
std::string NoDisplayMessage(const std::string& command_line_example);

/// The Qt application of a command that shows dialogs, with the modal seam set up
/// for `options`. Lives as long as the returned object.
class UiSession {
  public:
    UiSession(const char* program, const UiOptions& options);
    ~UiSession();
    UiSession(const UiSession&) = delete;
    UiSession& operator=(const UiSession&) = delete;

  private:
    int argc_ = 1;
    char* argv_[2];
    std::unique_ptr<QApplication> app_;
};

}  // namespace axishost
