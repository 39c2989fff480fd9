#pragma once
// The drive scope's capture settings dialog: window, trigger mode, slope, trigger
// variable and level, pretrigger. The scope logger opens it (CMC_ScopeLogger::Edit).

#include <string>
#include <vector>

class QWidget;

namespace axis {

/// Capture settings as the dialog edits them (meanings as CMC_ScopeLogger::ChangeSettings).
struct ScopeCaptureSettings {
    double window_s = 1.0;
    int trigger_mode = 1;
    int trigger_slope = 1;
    std::string trigger_variable;
    double level = 0.0;
    unsigned pretrigger_percent = 0;
};

/// Shows the dialog through the modal seam, offering `variables` as trigger sources;
/// true when the user confirmed (then `settings` holds what was entered, every value
/// already checked by the dialog's fields).
bool EditScopeCaptureSettings(QWidget* parent, const std::vector<std::string>& variables,
                              ScopeCaptureSettings& settings);

}  // namespace axis
