#pragma once
// "Filters": the three biquad filters of the control loops, each on or off, placed
// at one point of the loops, with its type and its frequencies or Q. Opened by the
// speed and position tuning tests; while their test runs, the number and placement of
// the filters stay fixed and only their shape may change. Each filter that is on has
// its response drawn as the drive will run it, from the rounded coefficients.

#include <array>
#include <memory>

#include "compute/biquad.h"
#include "editor/my_setup_dlg.h"

namespace Ui {
class Filters;
}
class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

class CFiltersDialog : public CMySetupDlg {
    Q_OBJECT

  public:
    /// Points of the loops a filter can sit at ("BQFilterLocation%d").
    enum Location { kPositionControllerOutput = 0, kSpeedControllerOutput = 1, kSpeedFeedback = 2 };
    /// Frequencies at which the responses are drawn.
    static constexpr int kResponsePoints = 400;

    /// `running` is not 0 while the opener's test runs.
    CFiltersDialog(CMC_Setup* setup, int running, QWidget* parent);
    /// Not running: opened from the editor or on its own.
    CFiltersDialog(CMC_Setup* setup, QWidget* parent) : CFiltersDialog(setup, 0, parent) {}
    ~CFiltersDialog() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnRefreshParameterValue(const char* name) override;

    /// Sends the filter options to the drive (the openers call it after OK while their
    /// test runs).
    int WriteFiltersToDrive(CMC_Setup* setup) { return designer_.WriteFiltersToDrive(setup); }

    bool IsRunning() const { return running_ != 0; }
    /// The controls of filter `i` (1 to 3).
    struct FilterControls {
        QWidget* frame;
        QLabel* title;
        QAbstractButton* on;
        QLabel* location_label;
        QComboBox* location;
        QLabel* type_label;
        QComboBox* type;
        QLabel* first_label;
        QLineEdit* f1;
        QComboBox* f1_unit;
        QLabel* second_label;
        QLineEdit* q;
        QLineEdit* f2;
        QComboBox* f2_unit;
    };
    const FilterControls& Controls(int i) const { return controls_.at(i - 1); }
    Ui::Filters& Form() { return *ui_; }

  private:
    void ApplyLoadRules();
    void DrawResponses();

    std::unique_ptr<Ui::Filters> ui_;
    orvex::CBiquadDesigner designer_;
    int running_ = 0;
    std::array<FilterControls, orvex::CBiquadDesigner::kFilterCount> controls_;
};
