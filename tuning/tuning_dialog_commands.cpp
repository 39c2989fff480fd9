// What the speed and the position tuning dialogs do alike beside the run: keeping the
// total inertia and the load-to-motor ratio in step, the inertia test and the filters
// opened from them, the current channels of the scope, and OK.

#include <QLabel>

#include "editor/editor_helpers.h"
#include "editor/filters_dlg.h"
#include "editor/inertia_question.h"
#include "editor/pictures.h"
#include "host/drive/scope_logger.h"
#include "host/setup/host_math.h"
#include "host/setup/setup.h"
#include "host/ui/modal_seam.h"
#include "identification/total_inertia.h"
#include "tuning/scope_rules.h"
#include "tuning/tuning_test_dlg.h"

const char* const CTuningTestDlg::kInertiaBelowMotorText =
    "You have chosen a value for the total inertia that is lower than the value of the motor "
    "inertia.\nThe application will assume the motor inertia is unknown.";

bool CTuningTestDlg::InertiaKnown() const {
    return IntOf("isMotorInertiaUnknown") == 0;
}

void CTuningTestDlg::CheckInertiaAtStart() {
    CMC_Setup* setup = GetSetup();
    // A motor heavier than motor and load together cannot be: the user says which to
    // believe before any gain is designed from them.
    if (setup->GetParameterValueInBaseUnit("Jm") > setup->GetParameterValueInBaseUnit("Jt") &&
        InertiaKnown()) {
        CInertiaQuestion question(setup, this);
        question.DoModal();
    }
    // The ratio follows the inertia as the question left it.
    FollowInertia(true);
}

void CTuningTestDlg::FollowInertia(bool from_total) {
    CMC_Setup* setup = GetSetup();
    const double jm = setup->GetParameterValueInBaseUnit("Jm");
    if (!(jm > 0.0)) return;  // no motor inertia to compare with
    if (from_total) {
        const double jt = setup->GetParameterValueInBaseUnit("Jt");
        setup->SetParameterValueInBaseUnit("Jload_over_J", RoundDecimalValue((jt - jm) / jm, 3));
        RefreshParameterControls("Jload_over_J");
    } else {
        CMC_Parameter* jt = setup->FindParameter("Jt");
        if (!jt) return;
        jt->SetValueInBaseUnit((setup->GetParameterValueInBaseUnit("Jload_over_J") + 1.0) * jm);
        // Three decimals of the unit the user reads (kg*cm^2): in kg*m^2 every motor's
        // inertia would round to nothing.
        const double shown = RoundDecimalValue(jt->GetValue(), 3);
        if (shown > 0.0) jt->SetValue(shown);
        RefreshParameterControls("Jt");
    }
}

void CTuningTestDlg::WarnIfInertiaBelowMotor() {
    CMC_Setup* setup = GetSetup();
    if (!(setup->GetParameterValueInBaseUnit("Jm") > setup->GetParameterValueInBaseUnit("Jt")) ||
        !InertiaKnown())
        return;
    axis::ShowMessage(this, QString::fromUtf8(kInertiaBelowMotorText), axis::MessageButtons::Ok,
                      axis::MessageIcon::Warning, windowTitle());
    setup->SetParameterValueInBaseUnit("isMotorInertiaUnknown", 1.0);
    UpdateData(false);
}

void CTuningTestDlg::ShowProfilePicture(QLabel* control, const char* const (&pictures)[3]) {
    const int type = ReferenceType();
    const int index = type == 1 || type == 2 ? type : 0;
    orvex::ShowPicture(control, GetSetup(), QString::fromUtf8(pictures[index]));
}

void CTuningTestDlg::CurrentChannelScale() {
    const CMC_Parameter* p = GetSetup()->FindParameter("TestLimitCurrent");
    if (!p) return;
    const auto s = orvex::tuning::CurrentChannelScale(p->GetValue());
    RescaleChannels({"Current_Reference", "Motor_Current"}, "TestLimitCurrent", s.division,
                    s.offset);
}

void CTuningTestDlg::OnIdentify() {
    CTotalInertiaTest test(GetSetup(), 1, this);
    if (test.DoModal() != 1) return;
    if (InertiaKnown()) FollowInertia(true);
    RefreshAllParameters();
}

void CTuningTestDlg::OnFilters() {
    CMC_Setup* setup = GetSetup();
    orvex::BringOptionsInStep(setup);
    CFiltersDialog filters(setup, IsRunning() ? 1 : 0, this);
    if (filters.DoModal() != 1) return;
    orvex::BringOptionsInStep(setup);
    if (IsRunning()) filters.WriteFiltersToDrive(setup);
    UpdateData(false);
}

void CTuningTestDlg::OnOK() {
    if (!UpdateData(true)) return;
    CMC_Setup* setup = GetSetup();
    if (ScopeSettingsCustomised() && ScopeLogger())
        ScopeLogger()->SaveSettingsToSetupOption(Names().osc_settings);
    else
        setup->ClearOption(Names().osc_settings);
    setup->SetParameterValueInBaseUnit("Imax_Prot",
                                       setup->GetParameterValueInBaseUnit("TestProtectionCurrent"));
    setup->SetParameterValueInBaseUnit("IlimPS",
                                       setup->GetParameterValueInBaseUnit("TestLimitCurrent"));
    EndDialog(1);
}
