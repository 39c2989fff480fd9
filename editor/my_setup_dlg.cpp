#include "editor/my_setup_dlg.h"

#include <algorithm>

#include "compute/gain_table.h"
#include "compute/option_codec.h"
#include "compute/units_transmission.h"
#include "host/setup/names.h"
#include "host/setup/setup.h"

namespace {

// The gains re-encoded the moment the user changes one, so that the field shows the
// value the drive's mantissa and shift really hold. The electric angle loop's gains
// are not among them: only their tuning test edits them, and it encodes them itself.
constexpr const char* kReencodedGains[] = {"Kp_C_scl", "Ki_C_scl", "Ki_P_scl",
                                           "Kp_P_scl", "Kd_P_scl", "Ki_S_scl",
                                           "Kp_S_scl", "KFFA_scl", "KFFS_scl"};

const orvex::GainOptions* ReencodedGain(const char* name) {
    for (const char* gain : kReencodedGains)
        if (axis::NamesEqual(name, gain)) return orvex::FindGainOptions(gain);
    return nullptr;
}

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
        } else if (const orvex::GainOptions* gain = ReencodedGain(name)) {
            orvex::ReencodeGain(setup, *gain);
        } else if (axis::NamesEqual(name, "In") || axis::NamesEqual(name, "InPS")) {
            if (SetupHas(setup, "KPTHT")) {
                UpdateMaxCurrentRange(setup);
                RefreshParameterControls("MAX_CURRENT");
            }
        }
    }
    CMC_EditSetupDlg::OnChangedParameterValue(name);
}
