#pragma once
// "External Reference Setup": where the drive's reference comes from. An analogue
// input scaled between a minimum and a maximum, with a dead band and an optional
// filter, or (position mode only) a digital input followed through a gear ratio.
// What the reference means follows the control mode: a position, a speed or a
// current.

#include <memory>

#include "editor/my_setup_dlg.h"

namespace Ui {
class AnalogReference;
}

class CAnalogReferenceDlg : public CMySetupDlg {
    Q_OBJECT

  public:
    /// Help context of the dialog's page (F1).
    static constexpr int kHelpContext = 262401;
    /// Control modes ("ControlMode").
    enum Mode { kPositionMode = 0, kSpeedMode = 1, kTorqueMode = 2 };

    CAnalogReferenceDlg(CMC_Setup* setup, QWidget* parent);
    ~CAnalogReferenceDlg() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnChangedParameterValue(const char* name) override;
    void OnChangedParameterUnit(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;

    /// Whether the drive has an analogue reference input (drive variable and
    /// parameter "CADIN").
    bool HasAnalogueInput() const { return analogue_input_; }
    Ui::AnalogReference& Form() { return *ui_; }

  protected:
    /// Whether the module has the analogue reference test; without it "Test" stays
    /// disabled and says so.
    virtual bool HasTest() const;
    /// Runs the analogue reference test modally on the setup: 1 when it closed with OK.
    virtual int RunTest();

  private:
    void OnTestButton();
    int Mode() const;
    void ApplyLoadRules();
    void ShowFilterRow();
    void CaptionLimitCheck();
    // Shows the unit of each minimum (and of the dead band's range) beside its field.
    void ShowFollowerUnits();

    std::unique_ptr<Ui::AnalogReference> ui_;
    bool analogue_input_ = false;
};
