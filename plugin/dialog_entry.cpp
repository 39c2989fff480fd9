// OrvexOpenDialog: opens one of the module's dialogs by name on a setup, for trying
// a dialog out (axishost dialog NAME FILE) and for scripted checks.

#include <memory>
#include <string_view>

#include "compute/sequences.h"
#include "editor/advanced_dlg.h"
#include "editor/analog_reference_dlg.h"
#include "editor/drive_info.h"
#include "editor/drive_setup_dlg.h"
#include "editor/filters_dlg.h"
#include "editor/inertia_question.h"
#include "editor/motor_setup_dlg.h"
#include "host/setup/names.h"
#include "host/setup/setup.h"
#include "identification/analogue_reference_monitor.h"
#include "identification/angle_tuning.h"
#include "identification/current_tuning.h"
#include "identification/encoder_connections.h"
#include "identification/encoder_resolution.h"
#include "identification/phase_connections.h"
#include "identification/resistance_inductance.h"
#include "identification/total_inertia.h"
#include "identification/vdc_detection.h"
#include "plugin/orvex_app.h"
#include "tuning/speed_tuning.h"

#define ORVEX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct DialogEntry {
    const char* name;
    int (*open)(CMC_Setup* setup);
};

template <class Dialog>
int OpenModal(CMC_Setup* setup) {
    Dialog dialog(setup, nullptr);
    return dialog.DoModal() == 1 ? 1 : 0;
}

// Test dialogs take the host's flag (always 1) before their parent.
template <class Dialog>
int OpenTestModal(CMC_Setup* setup) {
    Dialog dialog(setup, 1, nullptr);
    return dialog.DoModal() == 1 ? 1 : 0;
}

// One row per dialog that can be opened on its own.
constexpr DialogEntry kDialogs[] = {
    {"driveinfo", OpenModal<CDriveInfo>},
    {"drivesetup", OpenModal<CDriveSetupDlg>},
    {"motorsetup", OpenModal<CMotorSetupDialog>},
    {"inertia", OpenModal<CInertiaQuestion>},
    {"advanced", OpenModal<CAdvancedDialog>},
    {"analogref", OpenModal<CAnalogReferenceDlg>},
    {"filters", OpenModal<CFiltersDialog>},
    {"vdc", OpenTestModal<CTestVdcDetection>},
    {"phase", OpenTestModal<CTestPhaseConnections>},
    {"rl", OpenTestModal<CTestRL>},
    {"inertiatest", OpenTestModal<CTotalInertiaTest>},
    {"encoder", OpenTestModal<CTestEncoderConnections>},
    {"resolution", OpenTestModal<CDetectEncoderResolution>},
    {"current", OpenTestModal<CTestCurrent>},
    {"angle", OpenTestModal<CTestAngle>},
    {"analogue", OpenTestModal<CTestAnalogueRef>},
    {"speed", OpenTestModal<CTestSpeedTuning>},
};

}  // namespace

/// Opens the dialog `name` (without regard to case) modally on `setup`; OK then runs the
/// recompute of the setup editor's OK (ConfirmEditedSetup). 1 when it was
/// closed with OK, 0 when cancelled, -1 for an unknown name or no setup.
ORVEX_EXPORT int OrvexOpenDialog(CMC_Setup* setup, const char* name) {
    if (!setup || !name) return -1;
    TheOrvexApp();
    for (const DialogEntry& entry : kDialogs) {
        if (!axis::NamesEqual(name, entry.name)) continue;
        const int result = entry.open(setup);
        // OK brings the options in step with the parameters, as OK of the setup editor
        // does: a test dialog sets the start move aside while it runs.
        if (result == 1) orvex::ConfirmEditedSetup(setup);
        return result;
    }
    return -1;
}

/// The names OrvexOpenDialog knows, null-ended.
ORVEX_EXPORT const char* const* OrvexDialogNames() {
    static const char* names[std::size(kDialogs) + 1] = {};
    for (size_t i = 0; i < std::size(kDialogs); ++i) names[i] = kDialogs[i].name;
    return names;
}
