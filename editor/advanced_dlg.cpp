#include "editor/advanced_dlg.h"

#include <QLabel>
#include <QPalette>
#include <cmath>

#include "compute/config_registers.h"
#include "compute/control_loop_options.h"
#include "compute/loop_periods.h"
#include "compute/option_codec.h"
#include "compute/scales.h"
#include "compute/sequences.h"
#include "editor/editor_helpers.h"
#include "editor/pictures.h"
#include "host/setup/names.h"
#include "host/setup/setup.h"
#include "host/ui/modal_seam.h"
#include "ui_advanced.h"

namespace {

const QColor kOutsideLimits(255, 0, 0);

double Value(const CMC_Setup* setup, const char* name) {
    return setup->GetParameterValueInBaseUnit(name);
}

bool HasFreezeControl(const CMC_Setup* setup) {
    return orvex::SetupHas(setup, {"POSOKLIM_FC", "TONPOSOK_FC"});
}

// What the window is for on a step motor, with the motor's own full step.
QString FreezeBandHint(const CMC_Setup* setup) {
    axis::ScopedSilentLookup silent;
    const CMC_Parameter* steps = setup->FindParameter("NoMotorSteps");
    QString hint = QStringLiteral(
        "The rotor of a step motor rests in a detent notch every full step. A window of "
        "about three quarters of a full step lets a loop that stops in the notch beside the "
        "target hold there, instead of winding its integrals until the shaft jumps into the "
        "next notch and hunts.");
    if (steps && steps->GetValueInBaseUnit() > 0)
        hint += QStringLiteral(" On this motor: %1 rot.")
                    .arg(0.75 / steps->GetValueInBaseUnit(), 0, 'g', 3);
    return hint;
}

void SetTextColour(QWidget* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

}  // namespace

CAdvancedDialog::CAdvancedDialog(CMC_Setup* setup, QWidget* parent)
    : CMySetupDlg(setup, new QWidget, 1, nullptr, parent), ui_(std::make_unique<Ui::Advanced>()) {
    ui_->setupUi(Layout());
    SetHelpContext(kHelpContext);
    Ui::Advanced& f = *ui_;
    AddSwitchParameterControls("PositionControlType", {f.positionOnlyRadio, f.positionSpeedRadio});
    {
        // Some drives cannot run position and speed control in the fast loop.
        axis::ScopedSilentLookup silent;
        AddSwitchParameterControls("PosSpd_in_FastLoop", {f.slowLoopRadio, f.fastLoopRadio});
    }
    if (orvex::SetupHas(setup, {"isSpeedEstimator"}))
        AddCheckParameterControls("isSpeedEstimator", f.speedEstimatorCheck);
    AddParameterControls("CLPER", f.clperEdit);
    AddParameterControls("SLPER", f.slperEdit);
    AddParameterControls("PWM_freq", f.pwmFreqEdit, f.pwmFreqUnit);
    AddParameterControls("Ts_C", f.tsCEdit, f.tsCUnit);
    AddParameterControls("Ts_S", f.tsSEdit, f.tsSUnit);
    AddParameterControls("PWMperiod", f.pwmPeriodEdit, f.pwmPeriodUnit);
    if (orvex::SetupHas(setup, {"THT_CORRECTION"}))
        AddParameterControls("PhaseAdvance_speed", f.phaseAdvanceEdit, f.phaseAdvanceUnit);
    if (orvex::SetupHas(setup, {"SpeedForward"}))
        AddSwitchParameterControls("SpeedForward",
                                   {f.speedForwardSpeedLoopRadio, f.speedForwardCurrentLoopRadio});
    if (HasFreezeControl(setup)) {
        AddCheckParameterControls("isFreezeControl", f.freezeControlCheck);
        AddParameterControls("FreezeControl_errband", f.freezeErrorBandEdit, f.freezeErrorBandUnit);
        AddParameterControls("FreezeControl_time", f.freezeTimeEdit, f.freezeTimeUnit);
        f.freezeErrorBandEdit->setToolTip(FreezeBandHint(setup));
    }
    connect(f.freezeControlCheck, &QAbstractButton::clicked, this, [this] { UpdateData(false); });
    for (QAbstractButton* radio : {static_cast<QAbstractButton*>(f.positionOnlyRadio),
                                   static_cast<QAbstractButton*>(f.positionSpeedRadio)})
        connect(radio, &QAbstractButton::clicked, this, [this] { UpdateData(false); });
}

CAdvancedDialog::~CAdvancedDialog() = default;

bool CAdvancedDialog::OnInitDialog() {
    CMySetupDlg::OnInitDialog();
    const CMC_Setup* setup = GetSetup();
    Ui::Advanced& f = *ui_;
    const int mode = orvex::IntValue(setup, "ControlMode");
    ShowChildren({f.positionOnlyRadio, f.positionSpeedRadio}, mode == 0);
    ApplySpeedForwardRule();
    EnableChildren({f.freezeControlBox, f.freezeControlCheck},
                   HasFreezeControl(setup) && mode == 0);
    if (!orvex::SetupHas(setup, {"PosSpd_in_FastLoop"}))
        ShowChildren({f.executeInBox, f.slowLoopRadio, f.fastLoopRadio}, false);
    else
        EnableChildren({f.executeInBox, f.slowLoopRadio, f.fastLoopRadio}, mode < 2);
    EnableChildren({f.speedComputationBox, f.speedEstimatorCheck},
                   orvex::SetupHas(setup, {"isSpeedEstimator"}));
    EnableChildren({f.phaseAdvanceBox, f.phaseAdvanceLabel, f.phaseAdvanceEdit, f.phaseAdvanceUnit},
                   orvex::SetupHas(setup, {"THT_CORRECTION"}));
    slow_period_seen_s_ = Value(setup, "Ts_S");
    fast_period_kept_s_ = Value(setup, "Ts_C");
    slow_period_kept_s_ = Value(setup, "Ts_S");
    ShowChildren({f.fastOutsideLabel, f.slowOutsideLabel}, false);
    PaintLabelColours();
    UpdateData(false);
    return true;
}

void CAdvancedDialog::DoDataExchange(bool save) {
    CMySetupDlg::DoDataExchange(save);
    if (!save) ApplyLoadRules();
}

void CAdvancedDialog::ApplyLoadRules() {
    const CMC_Setup* setup = GetSetup();
    Ui::Advanced& f = *ui_;
    const int mode = orvex::IntValue(setup, "ControlMode");
    if (mode == 0)
        ShowScheme(orvex::IntValue(setup, "PositionControlType") == 1 ? kSchemePositionSpeed
                                                                      : kSchemePositionOnly);
    else
        ShowScheme(mode == 1 ? kSchemeSpeed : kSchemeTorque);
    ApplySpeedForwardRule();
    EnableChildren(
        {f.freezeErrorBandLabel, f.freezeErrorBandEdit, f.freezeErrorBandUnit, f.freezeTimeLabel,
         f.freezeTimeEdit, f.freezeTimeUnit},
        HasFreezeControl(setup) && orvex::SwitchOn(setup, "isFreezeControl") && mode == 0);
}

void CAdvancedDialog::ApplySpeedForwardRule() {
    const CMC_Setup* setup = GetSetup();
    Ui::Advanced& f = *ui_;
    // No speed feed-forward in torque mode; into the speed loop only when there is one
    // after the position loop.
    const int mode = orvex::IntValue(setup, "ControlMode");
    const bool offered = orvex::SetupHas(setup, {"SpeedForward"}) && mode != 2;
    EnableChildren({f.speedForwardBox, f.speedForwardCurrentLoopRadio}, offered);
    EnableChild(f.speedForwardSpeedLoopRadio,
                offered && mode == 0 && orvex::IntValue(setup, "PositionControlType") == 1);
}

void CAdvancedDialog::ShowScheme(int id) {
    if (id == scheme_shown_) return;
    // The picture control is as high as the diagrams and as wide as the widest.
    orvex::ShowPicture(ui_->schemePicture, GetSetup(), QString::number(id));
    scheme_shown_ = id;
}

void CAdvancedDialog::PaintLabelColours() {
    Ui::Advanced& f = *ui_;
    SetTextColour(f.fastDividerLabel, fast_colour_);
    SetTextColour(f.fastPeriodLabel, fast_colour_);
    SetTextColour(f.slowDividerLabel, slow_colour_);
    SetTextColour(f.slowPeriodLabel, slow_colour_);
    SetTextColour(f.fastOutsideLabel, kOutsideLimits);
    SetTextColour(f.slowOutsideLabel, kOutsideLimits);
}

void CAdvancedDialog::OnChangedParameterValue(const char* name) {
    // Only the PWM frequency moves other values here; the timing follows in the
    // refresh of every name.
    if (!axis::NamesEqual(name, "PWM_freq")) return;
    CMC_Setup* setup = GetSetup();
    orvex::ComputeOption_PWMPER(setup);
    orvex::ComputeOption_SATPWM(setup);
    orvex::ReadBack_PWMperiod(setup);
    // The dividers follow the PWM period so that the loops keep their periods as near
    // as whole PWM periods allow.
    setup->SetParameterValueInBaseUnit("CLPER",
                                       orvex::LoopDividerForPeriod(*setup, fast_period_kept_s_));
    setup->SetParameterValueInBaseUnit("SLPER",
                                       orvex::LoopDividerForPeriod(*setup, slow_period_kept_s_));
    orvex::ReadBack_Ts_S(setup);
    orvex::ReadBack_Ts_C(setup);
    for (const char* shown : {"CLPER", "SLPER", "Ts_S", "Ts_C", "PWMperiod"})
        RefreshParameterControls(shown);
    UpdateData(false);
}

void CAdvancedDialog::OnRefreshParameterValue(const char* name) {
    CMC_Setup* setup = GetSetup();
    // The slow loop is never faster than the fast loop.
    if (Value(setup, "CLPER") > Value(setup, "SLPER"))
        setup->SetParameterValueInBaseUnit("SLPER", Value(setup, "CLPER"));
    orvex::ReadBack_Ts_S(setup);
    orvex::ReadBack_Ts_C(setup);
    orvex::ComputeOption_PWMPER(setup);
    orvex::ComputeOption_SATPWM(setup);
    orvex::ReadBack_PWMperiod(setup);
    if (orvex::SetupHas(setup, {"SpeedForward"})) orvex::ApplySpeedForwardDefault(setup);
    if (orvex::SetupHas(setup, {"THT_CORRECTION"})) {
        orvex::ComputeOption_THT_CORRECTION(setup);
        orvex::ReadBack_PhaseAdvance_speed(setup);
    }

    const bool slow_timing = axis::NamesEqual(name, "SLPER") || axis::NamesEqual(name, "PWM_freq");
    if (slow_timing) {
        const double period_s = Value(setup, "Ts_S");
        if (slow_period_seen_s_ > 0.0 && period_s != slow_period_seen_s_) {
            slow_period_seen_s_ = period_s;
            orvex::KeepValuesAcrossSlowLoopPeriodChange(setup);
        } else {
            orvex::BringOptionsInStep(setup);
        }
    }
    if (axis::NamesEqual(name, "CLPER")) {
        CheckMinimumPeriod(true);
        fast_period_kept_s_ = Value(setup, "Ts_C");
    } else if (axis::NamesEqual(name, "SLPER")) {
        CheckMinimumPeriod(false);
        slow_period_kept_s_ = Value(setup, "Ts_S");
    }
    RefreshAllParameters();
    UpdateData(false);
}

void CAdvancedDialog::CheckMinimumPeriod(bool fast) {
    const CMC_Setup* setup = GetSetup();
    const double minimum_s =
        fast ? orvex::GetMinimumCurrentLoopPeriod(setup) : orvex::GetMinimumSpeedLoopPeriod(setup);
    if (!(minimum_s > 0.0)) return;
    const bool outside = minimum_s > Value(setup, fast ? "Ts_C" : "Ts_S");
    (fast ? fast_colour_ : slow_colour_) = outside ? kOutsideLimits : QColor(Qt::black);
    ShowChild(fast ? ui_->fastOutsideLabel : ui_->slowOutsideLabel, outside);
    PaintLabelColours();
    update();
}

void CAdvancedDialog::OnOK() {
    if (!UpdateData(true)) return;
    const CMC_Setup* setup = GetSetup();
    const double fast_min_s = orvex::GetMinimumCurrentLoopPeriod(setup);
    const double slow_min_s = orvex::GetMinimumSpeedLoopPeriod(setup);
    const bool fast_bad = fast_min_s > 0.0 && fast_min_s > Value(setup, "Ts_C");
    const bool slow_bad = slow_min_s > 0.0 && slow_min_s > Value(setup, "Ts_S");
    if (fast_bad)
        axis::ShowMessage(this,
                          QString::asprintf("The minimum value for Fast loop sampling period is "
                                            "%.3f ms!\nPlease adjust the PWM frequency and/or the "
                                            "Fast loop sampling frequency divider until this "
                                            "condition is fulfilled!",
                                            fast_min_s * 1000.0),
                          axis::MessageButtons::Ok, axis::MessageIcon::Warning);
    if (slow_bad)
        axis::ShowMessage(this,
                          QString::asprintf("The minimum value for Slow loop sampling period is "
                                            "%.3f ms!\nPlease adjust the PWM frequency and/or the "
                                            "Slow loop sampling frequency divider until this "
                                            "condition is fulfilled!",
                                            slow_min_s * 1000.0),
                          axis::MessageButtons::Ok, axis::MessageIcon::Warning);
    if (!fast_bad && !slow_bad) EndDialog(1);
}
