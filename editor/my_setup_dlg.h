#pragma once
// The module's base of every editor dialog. Whenever the user changes a parameter
// that other values derive from, it recomputes them at once, so what the user sees
// is what the drive will get: a changed gain is encoded into its mantissa and shift
// options and read back, the step units follow the motor's step count, and the
// electric angle controller's current limit follows the rated currents.

#include "host/ui/edit_setup_dlg.h"

class CMySetupDlg : public CMC_EditSetupDlg {
    Q_OBJECT

  public:
    /// Forwards everything to the host's base; the module always passes 1 as `flag`.
    CMySetupDlg(CMC_Setup* setup, QWidget* layout, int flag, const char* const* guidelines,
                QWidget* parent);
    ~CMySetupDlg() override;

    /// Runs the first row of the recomputation table that matches `name` (without
    /// regard to case), then the host's handling. Dialogs that override it call this.
    void OnChangedParameterValue(const char* name) override;
};
