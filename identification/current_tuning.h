#pragma once
// "Current Controller Tuning Test": the user sets the current controller gains by
// hand or designs them from a bandwidth ("Tune"), then checks them on the drive: a
// preliminary program finds the voltage for the test current, a tuning program
// applies a current step through the drive's current controller while the logger
// records the reference, the measured current and the voltage reference, which are
// plotted. Gains changed while the test runs reach the drive at once.

#include <memory>

#include "host/drive/coff_format.h"
#include "host/drive/logger.h"
#include "identification/my_test_dlg.h"

namespace Ui {
class TestCurrent;
}
class CGraphWindow;

class CTestCurrent : public CMyTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262408;
    static const char* const kProtectionTrippedText;
    static const char* const kProtectionBelowTestCurrentText;

    CTestCurrent(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTestCurrent() override;

    bool OnInitDialog() override;
    /// OK: the over-current protection entered for the test becomes the setup's.
    void OnOK() override;
    void DoDataExchange(bool save) override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void BeginTest() override;
    void OnBtnStartStop() override;

    /// "Tune": designs the gains from the bandwidth and damping and, while a test
    /// runs, writes them to the drive.
    void OnTune();
    CGraphWindow* Graph() const { return graph_; }
    CMC_SingleAxisLogger* Logger() const { return logger_.get(); }

  private:
    void OnTestTick() override;
    void Step();
    void WaitPreliminary();
    void LaunchTuningProgram();
    void WaitTuning();
    void PlotResponse();
    /// The test page needs an over-current protection at least the test current;
    /// says so when it is not.
    bool ProtectionCoversTestCurrent();
    void OnFilterOrOffsetSwitched();

    std::unique_ptr<Ui::TestCurrent> ui_;
    CGraphWindow* graph_ = nullptr;  ///< owned by its placeholder frame
    CMC_CoffFormat preliminary_program_;
    CMC_CoffFormat tuning_program_;
    std::unique_ptr<CMC_SingleAxisLogger> logger_;
    int32_t test_current_ = 0;        ///< I_test (current counts)
    double reference_voltage_ = 0.0;  ///< U_ref (PWM voltage counts)
};
