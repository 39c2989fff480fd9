// The module's exported entry points: plain C names, called by the host on its
// user-interface thread, one call at a time, always with its setup.

#include <QApplication>

#include "compute/scale_inputs.h"
#include "compute/sequences.h"
#include "compute/units_transmission.h"
#include "editor/drive_setup_dlg.h"
#include "host/setup/names.h"
#include "host/setup/setup.h"
#include "plugin/orvex_app.h"

#define ORVEX_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" {
/// For the host; the module itself neither reads nor writes it.
__attribute__((visibility("default"))) int32_t g_bKufSinusoidalMode = 0;
}

namespace {
// How many of the three step-unit parameters the host has initialised since the
// step units were last rebuilt. The module's only state; shared by all setups.
int g_step_unit_inits = 0;
}  // namespace

ORVEX_EXPORT void ComputeAllOptions(CMC_Setup* setup) {
    orvex::ComputeAllOptions(setup);
}

ORVEX_EXPORT int OnInitParam(CMC_Setup* setup, const char* name) {
    if (!name) return 1;
    if (axis::NamesEqual(name, "NoMotorSteps") || axis::NamesEqual(name, "Motor_transmission") ||
        axis::NamesEqual(name, "Load_transmission"))
        ++g_step_unit_inits;
    if (g_step_unit_inits < 3) return 1;
    g_step_unit_inits = 0;
    return setup ? orvex::UpdateStepUnits(setup) : 0;
}

/// Opens the drive setup editor modally on `setup`: 1 when it was closed with OK, else 0.
/// The host keeps or drops the setup's changes by the result. Without a setup or a
/// running Qt application (the host's user interface) nothing opens: 0.
ORVEX_EXPORT int EditSetup(CMC_Setup* setup) {
    if (!setup || !qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
    TheOrvexApp();
    CDriveSetupDlg dialog(setup, nullptr);
    return dialog.DoModal() == 1 ? 1 : 0;
}

ORVEX_EXPORT double GetScaleFactor(CMC_Setup* setup, const char* unit, const char* name) {
    return setup ? orvex::GetScaleFactor(setup, unit, name) : 1.0;
}

ORVEX_EXPORT double GetScaleOffset(CMC_Setup* setup, const char* unit) {
    return setup ? orvex::GetScaleOffset(setup, unit) : 0.0;
}

ORVEX_EXPORT void ComputeOptionsFromParameters(CMC_Setup* setup) {
    if (setup) orvex::ComputeOptionsFromParameters(setup);
}

ORVEX_EXPORT void ReadBackParametersFromOptions(CMC_Setup* setup) {
    if (setup) orvex::ReadBackParametersFromOptions(setup);
}

/// Tells the host, one line each, which setting or parameter keeps scale factors from
/// being computed (a zero PWM period register, an ADC full scale that is not a count ...).
/// `report` is called for each with `context`; returns how many there were.
ORVEX_EXPORT int OrvexSetupProblems(CMC_Setup* setup, void (*report)(const char*, void*),
                                    void* context) {
    if (!setup) return 0;
    const auto problems = orvex::ScaleInputProblems(setup);
    if (report)
        for (const auto& p : problems) report(p.c_str(), context);
    return static_cast<int>(problems.size());
}
