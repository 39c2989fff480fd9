#pragma once
// "Advanced": the drive's timing base and control structure. PWM frequency and the
// two loop dividers give the PWM period and the fast (current) and slow
// (speed/position) loop sampling periods; which loops are closed in position mode;
// where the speed feed-forward goes; whether position and speed control run in the
// fast loop; speed estimator, phase advance and freeze control. When the slow loop
// period changes, every value the drive holds per sample keeps its physical meaning.

#include <QColor>
#include <memory>

#include "editor/my_setup_dlg.h"

namespace Ui {
class Advanced;
}

class CAdvancedDialog : public CMySetupDlg {
    Q_OBJECT

  public:
    static constexpr int kHelpContext = 262419;
    /// Control scheme pictures: position with speed loop, position without, speed, torque.
    static constexpr int kSchemePositionSpeed = 3016;
    static constexpr int kSchemePositionOnly = 3017;
    static constexpr int kSchemeSpeed = 3062;
    static constexpr int kSchemeTorque = 3063;

    CAdvancedDialog(CMC_Setup* setup, QWidget* parent);
    ~CAdvancedDialog() override;

    bool OnInitDialog() override;
    void DoDataExchange(bool save) override;
    void OnOK() override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;

    Ui::Advanced& Form() { return *ui_; }
    /// The scheme picture shown now (3016, 3017, 3062 or 3063).
    int SchemeShown() const { return scheme_shown_; }
    QColor FastLoopColour() const { return fast_colour_; }
    QColor SlowLoopColour() const { return slow_colour_; }

  private:
    void ApplyLoadRules();
    void ApplySpeedForwardRule();
    void ShowScheme(int id);
    void CheckMinimumPeriod(bool fast);
    void PaintLabelColours();

    std::unique_ptr<Ui::Advanced> ui_;
    int scheme_shown_ = 0;
    QColor fast_colour_{Qt::black};
    QColor slow_colour_{Qt::black};
    /// The slow loop period the per-sample values were last kept for [s].
    double slow_period_seen_s_ = 0.0;
    /// The loop periods a PWM frequency change keeps [s]: those at opening, then those
    /// the user set with the dividers.
    double fast_period_kept_s_ = 0.0;
    double slow_period_kept_s_ = 0.0;
};
