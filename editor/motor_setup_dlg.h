#pragma once
// "Step Motor and Load Setup": the motor data, the motor sensors, the holding brake
// and the transmission to the load, with the host's motor database editor and the
// buttons that open the motor and encoder tests.

#include <memory>
#include <numbers>

#include "editor/my_setup_dlg.h"

namespace Ui {
class MotorSetup;
}

class CMotorSetupDialog : public CMySetupDlg {
    Q_OBJECT

  public:
    /// Help context of the dialog's page (F1).
    static constexpr int kHelpContext = 262407;
    /// The base-unit value (one turn, 2 pi rad) that replaces a transmission term of 0.
    static constexpr double kOneTurn = 2 * std::numbers::pi;
    /// The limit switch advice.
    static const char* const kLimitSwitchAdvice;

    CMotorSetupDialog(CMC_Setup* setup, QWidget* parent);
    ~CMotorSetupDialog() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnOK() override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;

    Ui::MotorSetup& Form() { return *ui_; }

    /// The tests the dialog opens.
    enum class Test { kPhaseConnections, kResistanceInductance, kEncoderConnection, kLineCount };

  protected:
    /// Whether the module has the test; a button whose test is missing stays disabled
    /// and says so.
    virtual bool HasTest(Test test) const;
    /// Runs the test modally on the setup: 1 when it closed with OK, else 0.
    virtual int RunTest(Test test);

  private:
    void OnTestButton(Test test);
    // Whether the drive has the encoder input filter, the counting direction switch,
    // and a brake it can drive (parameters and at least one brake output).
    bool HasEncoderFilter() const;
    bool HasBrakeParameters() const;
    bool HasBrake() const;
    void ApplyLoadRules();
    void UpdateEncoderFilterList();
    void OnLimitSwitchAdvice();

    std::unique_ptr<Ui::MotorSetup> ui_;
};
