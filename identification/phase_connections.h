#pragma once
// "Motor Phase Connection Test": drives the test current into phase A and then into
// phase B and compares the two steady currents: both must be close to each other and
// to the test current. Writes nothing into the setup.

#include <memory>

#include "host/drive/coff_format.h"
#include "identification/my_test_dlg.h"

namespace Ui {
class TestPhaseConnections;
}

class CTestPhaseConnections : public CMyTestDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262411;

    CTestPhaseConnections(CMC_Setup* setup, int flag, QWidget* parent);
    ~CTestPhaseConnections() override;

    bool OnInitDialog() override;
    /// A new test current moves the bar graphs' scale at the next Start.
    void OnChangedParameterValue(const char* name) override;
    void BeginTest() override;

    std::vector<IdentifiedValue> IdentifiedValues() const override;

    /// The evaluation's failure text.
    static const char* const kConnectionFailureText;

  private:
    void OnTestTick() override;
    void WaitPreliminary();
    void LaunchPhaseProgram();
    void Evaluate();
    /// Both bars on the scale +-1.5 x the test current, at `ia` and `ib`.
    void ShowBars(double ia_A, double ib_A);

    std::unique_ptr<Ui::TestPhaseConnections> ui_;
    CMC_CoffFormat phase_program_;
    CMC_CoffFormat preliminary_program_;
    double test_current_A_ = 0.0;     ///< I_t, follows "TestCurrent"
    double reference_voltage_ = 0.0;  ///< U_ref of the preliminary run (PWM counts)
    double ia_A_ = 0.0;
    double ib_A_ = 0.0;
};
