#pragma once
// "Speed Controller Tuning Test": the speed loop runs a trapezoidal speed profile on
// the drive, once or until Stop, and the user tunes it while it runs: every changed
// gain or feed-forward, and every gain designed with "Tune", reaches the running
// drive at once. The run itself is CTuningTestDlg's.

#include <memory>

#include "tuning/tuning_test_dlg.h"

namespace Ui {
class SpeedTuning;
}

class CTestSpeedTuning : public CTuningTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262402;
    static const char* const kInertiaBelowMotorText;

    CTestSpeedTuning(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTestSpeedTuning() override;

    bool OnInitDialog() override;
    /// OK: the test's current limits become the setup's; customised scope settings are
    /// kept for the next opening, others forgotten.
    void OnOK() override;
    void DoDataExchange(bool save) override;
    void OnChangedParameterValue(const char* name) override;
    void OnChangedParameterUnit(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;

    /// "Tune": designs Kp and Ki from the passband and, while a test runs, writes them
    /// to the drive.
    void OnTune();
    /// "Identify": the total inertia test on the same setup.
    void OnIdentify();
    /// "Filters": the filters dialog, written to the running drive on OK.
    void OnFilters();

  protected:
    bool WriteLeadingInputs(CMC_CoffFormat& program) override;
    void ApplyCaptureSettings() override;
    void ApplyChannelScales() override;

  private:
    void Bind();
    void ShowProfilePicture();
    void SpeedChannelScale();
    void CurrentChannelScale();
    /// "Jload_over_J" from "Jt" and "Jm" (or the other way round), to 3 decimals.
    void FollowInertia(bool from_total);
    bool InertiaKnown() const;

    std::unique_ptr<Ui::SpeedTuning> ui_;
};
