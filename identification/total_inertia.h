#pragma once
// "Total inertia test": accelerates the motor with a known current, measures how long
// it takes to gain a known speed, and from the torque constant, the current, the time
// and the speed gain computes the inertia of motor and load together, written into
// "Jt". Opened from the speed and position controller tuning dialogs.

#include <memory>

#include "host/drive/coff_format.h"
#include "identification/my_test_dlg.h"

namespace Ui {
class TotalInertiaTest;
}

class CTotalInertiaTest : public CMyTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262417;

    CTotalInertiaTest(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTotalInertiaTest() override;

    bool OnInitDialog() override;
    /// OK: the test's protection current becomes the drive's ("Imax_Prot").
    void OnOK() override;
    /// Close: asks whether to keep an identified inertia that differs from the one
    /// before the test. Yes confirms; No puts the old inertia back and cancels;
    /// Cancel (or nothing to ask) is the ordinary cancel.
    void OnCancel() override;
    /// Start is refused while the protection current is below the test current.
    void OnBtnStartStop() override;
    void BeginTest() override;

    std::vector<IdentifiedValue> IdentifiedValues() const override;
    std::vector<std::string> ResultParameterNames() const override { return {"Jt"}; }

    /// The verdict failure texts, rows 7 to 10 of the step table.
    static const char* const kSpeedNegativeText;
    static const char* const kSpeedNegativeTimeText;
    static const char* const kNoSpeedText;
    static const char* const kSpeedNotReachedText;

  private:
    void OnTestTick() override;
    void RunStep();
    void WaitPreliminary();
    void LaunchInertiaRun();
    void WaitInertiaRun();
    void ClearResultField();

    std::unique_ptr<Ui::TotalInertiaTest> ui_;
    CMC_CoffFormat inertia_program_;
    CMC_CoffFormat preliminary_program_;
    std::int32_t test_current_ = 0;        ///< I_test (current counts)
    std::int32_t speed_limit_ = 0;         ///< last "LimitSpeedMax" sent (speed counts)
    std::int32_t protection_current_ = 0;  ///< last "Imax_Prot_Test" sent (current counts)
    double reference_voltage_ = 0.0;       ///< U_ref of the preliminary run
    double j_kgm2_ = 0.0;                  ///< J, the identified inertia
    double j_old_kgm2_ = 0.0;              ///< "Jt" just before the test wrote it
    bool identified_ = false;
};
