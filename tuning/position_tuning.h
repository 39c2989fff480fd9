#pragma once
// "Position Controller Tuning Test": the position loop moves the motor along a
// trapezoidal position profile (out to the final position, hold, back, pause), once or
// until Stop, and the user tunes it while it runs. The loop either commands the speed
// loop ("PositionControlType" 1), which then limits the speed, or commands current
// directly; that choice, made when the dialog opens, picks the drive program, the
// logged inner-loop signals and the test's limit. After a successful run the motor is
// where the preliminary program left it, so Start goes straight to the profile until
// the user comes back to the test page. The run itself is CTuningTestDlg's.

#include <memory>

#include "tuning/position_rules.h"
#include "tuning/tuning_test_dlg.h"

namespace Ui {
class TestPositionTuning;
}

class CTestPositionTuning : public CTuningTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262403;

    CTestPositionTuning(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTestPositionTuning() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnChangedParameterValue(const char* name) override;
    void OnChangedParameterUnit(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;

    /// "Tune": designs Kp, Ki and Kd from the passband and, while a test runs, writes
    /// them to the drive (with the speed loop beneath, Kd is 0).
    void OnTune();

  protected:
    bool WriteLeadingInputs(CMC_CoffFormat& program) override;
    bool WriteTrailingInputs(CMC_CoffFormat& program) override;
    bool SkipPreliminary() override;
    void OnRunSucceeded(DisplayMode mode) override;
    void OnPageShown(int page) override;
    void ApplyCaptureSettings() override;
    void ApplyChannelScales() override;

  private:
    void Bind();
    void PositionChannelScale();
    void SpeedChannelScale();

    std::unique_ptr<Ui::TestPositionTuning> ui_;
    orvex::tuning::PositionLoopStructure loop_;
    /// Set by a run that ended well with the data logger or the on-line plot; cleared
    /// when the test page is shown again and by a Start that runs the preliminary.
    bool preliminary_done_ = false;
};
