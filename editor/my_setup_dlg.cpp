#include "editor/my_setup_dlg.h"

#include <algorithm>
#include <array>

#include "compute/control_loop_options.h"
#include "compute/option_codec.h"
#include "compute/typed_values.h"
#include "compute/units_transmission.h"
#include "host/setup/names.h"
#include "host/setup/setup.h"

namespace {

using Conversion = int (*)(CMC_Setup*);

// A gain and what recomputes it: its options in the order the drive's encoding needs
// them, then the read-back that shows the gain the options really hold.
struct GainRow {
    const char* gain;
    std::array<Conversion, 4> steps;  // null-padded
};

const GainRow kGainRows[] = {
    {"Kp_C_scl", {orvex::ComputeOption_KPI, orvex::ComputeOption_SFTKPI, orvex::ReadBack_Kp_C_scl}},
    {"Ki_C_scl", {orvex::ComputeOption_KII, orvex::ComputeOption_SFTKII, orvex::ReadBack_Ki_C_scl}},
    {"Ki_P_scl", {orvex::ComputeOption_SFTKIP, orvex::ComputeOption_KIP, orvex::ReadBack_Ki_P_scl}},
    {"Kp_P_scl", {orvex::ComputeOption_SFTKPP, orvex::ComputeOption_KPP, orvex::ReadBack_Kp_P_scl}},
    {"Kd_P_scl", {orvex::ComputeOption_SFTKDP, orvex::ComputeOption_KDP, orvex::ReadBack_Kd_P_scl}},
    {"Ki_S_scl", {orvex::ComputeOption_SFTKIS, orvex::ComputeOption_KIS, orvex::ReadBack_Ki_S_scl}},
    {"Kp_S_scl", {orvex::ComputeOption_SFTKPS, orvex::ComputeOption_KPS, orvex::ReadBack_Kp_S_scl}},
    {"KFFA_scl",
     {orvex::ComputeOption_SFTKFF, orvex::ComputeOption_KFFA, orvex::ComputeOption_SFTAFFW,
      orvex::ReadBack_KFFA_scl}},
    {"KFFS_scl",
     {orvex::ComputeOption_SFTSFFW, orvex::ComputeOption_KFFS, orvex::ReadBack_KFFS_scl}},
};

// Units whose displayed values change with the motor's step count ("steps" are
// merged on the radian units).
constexpr const char* kStepCompatibleUnits[] = {"rad", "rad/s", "rad/s^2", "rad/s^3"};

bool SetupHas(const CMC_Setup* setup, const char* name) {
    axis::ScopedSilentLookup silent;
    return setup->FindParameter(name) != nullptr;
}

// The electric angle controller limits its current to the smaller rated current of
// motor and drive.
void UpdateMaxCurrentRange(CMC_Setup* setup) {
    CMC_Parameter* max_current = setup->FindParameter("MAX_CURRENT");
    if (!max_current || !setup->FindParameter("In") || !setup->FindParameter("InPS")) return;
    orvex::SetParameterRange(max_current, 0.0,
                             std::min(setup->GetParameterValueInBaseUnit("In"),
                                      setup->GetParameterValueInBaseUnit("InPS")));
}

}  // namespace

CMySetupDlg::CMySetupDlg(CMC_Setup* setup, QWidget* layout, int flag, const char* const* guidelines,
                         QWidget* parent)
    : CMC_EditSetupDlg(setup, layout, flag, guidelines, parent) {}

CMySetupDlg::~CMySetupDlg() = default;

void CMySetupDlg::OnChangedParameterValue(const char* name) {
    CMC_Setup* setup = GetSetup();
    if (setup && name) {
        if (axis::NamesEqual(name, "NoMotorSteps")) {
            orvex::UpdateStepUnits(setup);
            for (const char* unit : kStepCompatibleUnits)
                RefreshAllParametersWithCompatibleUnits(unit);
        } else if (const auto* row = std::find_if(
                       std::begin(kGainRows), std::end(kGainRows),
                       [name](const GainRow& r) { return axis::NamesEqual(name, r.gain); });
                   row != std::end(kGainRows)) {
            // The gain as typed stays in the field when it is what the options hold.
            for (Conversion step : row->steps)
                if (step) orvex::ReadBackKeepingTypedValue(setup, step);
        } else if (axis::NamesEqual(name, "In") || axis::NamesEqual(name, "InPS")) {
            if (SetupHas(setup, "KPTHT")) {
                UpdateMaxCurrentRange(setup);
                RefreshParameterControls("MAX_CURRENT");
            }
        }
    }
    CMC_EditSetupDlg::OnChangedParameterValue(name);
}
