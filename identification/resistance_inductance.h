#pragma once
// "Total Resistance and Inductance Identification Test": five drive programs in a
// row (preliminary and resistance runs at the full and at half the test current,
// then the inductance run) identify the phase resistance and inductance seen by the
// drive, motor and drive together, and write them into "R" and "L". The bus voltage
// measured on the way scales the voltages; it stays in "Vdc" while the dialog is
// open and is put back when it closes.

#include <memory>

#include "host/drive/coff_format.h"
#include "identification/my_test_dlg.h"

namespace Ui {
class TestRL;
}
class CMC_SingleAxisLogger;

class CTestRL : public CMyTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262412;

    CTestRL(CMC_Setup* setup, QWidget* parent);
    /// The form every test dialog is opened with (the host's flag comes first).
    CTestRL(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTestRL() override;

    bool OnInitDialog() override;
    /// Close: puts "Vdc" back, then asks whether to keep an identified R or L that
    /// differs from the value at opening. Yes confirms, No cancels, Cancel stays.
    void OnCancel() override;
    void BeginTest() override;
    /// Every way out (Close, the window's close box, the host ending the dialog)
    /// puts back the "Vdc" the dialog was opened with.
    void done(int result) override;

    std::vector<IdentifiedValue> IdentifiedValues() const override;
    std::vector<std::string> ResultParameterNames() const override { return {"R", "L"}; }

  private:
    void OnTestTick() override;
    void RunStep();
    // Each waiting step; each goes straight on into the next launch.
    void WaitPreliminary(double& reference_voltage, std::uint16_t next_launch);
    void WaitFirstResistanceRun();
    void WaitSecondResistanceRun();
    void WaitInductanceRun();
    // The launches.
    void LaunchResistanceRun(double current, double reference_voltage, int log_type);
    void LaunchSecondPreliminary();
    void LaunchInductanceRun();
    /// Uploads a resistance run's points: the mean of "IQ". False (the test ended)
    /// when the upload fails or gave no point.
    bool MeanLoggedCurrent(double& mean_current);
    /// Configures the logger for a run: `points` at `log_type`, `variables` in order.
    bool ConfigureLogger(int log_type, std::initializer_list<const char*> variables);
    void ClearResultFields();
    void RestoreVdc();

    std::unique_ptr<Ui::TestRL> ui_;
    CMC_CoffFormat resistance_program_;
    CMC_CoffFormat inductance_program_;
    CMC_CoffFormat preliminary_program_;
    std::unique_ptr<CMC_SingleAxisLogger> logger_;

    double r_ohm_ = 0.0;
    double l_H_ = 0.0;
    double r_at_open_ohm_ = 0.0;
    double l_at_open_H_ = 0.0;
    double vdc_at_open_V_ = 0.0;
    bool has_vdc_ = false;
    double measured_vdc_V_ = 0.0;
    bool identified_ = false;

    std::int32_t test_current_ = 0;  ///< I_test (current counts)
    double u_ref1_ = 0.0;
    double u_ref2_ = 0.0;
    double i1_ = 0.0;
    double i2_ = 0.0;
    double u1_ = 0.0;
    double u2_ = 0.0;
    double u3_ = 0.0;
};
