#pragma once
// "VDC Detection Test": measures the DC supply voltage of the power stage with the
// drive program "VDC_Detection_Test" and writes it, rounded to hundredths of a volt,
// into "Vdc".

#include <memory>

#include "host/drive/coff_format.h"
#include "identification/my_test_dlg.h"

namespace Ui {
class TestVdcDetection;
}

class CTestVdcDetection : public CMyTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262405;

    CTestVdcDetection(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTestVdcDetection() override;

    bool OnInitDialog() override;
    /// Close: asks whether to keep a measured voltage that differs from the one at
    /// opening. Yes ends with the confirm result, Cancel keeps the dialog open, No
    /// (or nothing to ask) is the ordinary cancel.
    void OnCancel() override;
    void BeginTest() override;

    std::vector<IdentifiedValue> IdentifiedValues() const override;
    std::vector<std::string> ResultParameterNames() const override { return {"Vdc"}; }

  private:
    /// The one waiting step: completion rule, then the measurement.
    void OnTestTick() override;
    void Measure();

    std::unique_ptr<Ui::TestVdcDetection> ui_;
    CMC_CoffFormat program_;
    double vdc_at_open_V_ = 0.0;
    double measured_V_ = 0.0;
    bool measured_ = false;
};
