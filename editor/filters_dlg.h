#pragma once
// "Filters": the three biquad filters of the control loops, each on or off, placed
// at one point of the loops, with its type and its frequencies or Q. Opened by the
// speed and position tuning tests; while their test runs, the number and placement of
// the filters stay fixed and only their shape may change.

#include <memory>

#include "compute/biquad.h"
#include "editor/my_setup_dlg.h"

namespace Ui {
class Filters;
}

class CFiltersDialog : public CMySetupDlg {
    Q_OBJECT

  public:
    /// `running` is not 0 while the opener's test runs.
    CFiltersDialog(CMC_Setup* setup, int running, QWidget* parent);
    /// Not running: opened from the editor.
    CFiltersDialog(CMC_Setup* setup, QWidget* parent) : CFiltersDialog(setup, 0, parent) {}
    ~CFiltersDialog() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;

    bool IsRunning() const { return running_ != 0; }
    Ui::Filters& Form() { return *ui_; }

  private:
    std::unique_ptr<Ui::Filters> ui_;
    int running_ = 0;
};
