// OrvexRunTest: runs one of the module's test dialogs headless, for end-of-line
// testing (axishost test NAME FILE).

#include <cmath>

#include "host/setup/setup.h"
#include "plugin/orvex_app.h"
#include "plugin/test_runner.h"

#define ORVEX_EXPORT extern "C" __attribute__((visibility("default")))

/// How the host runs a test headless.
struct OrvexTestRunHooks {
    /// 1: "Yes" to the question asked at Close (keep the identified values); 0: "No".
    int answer_yes;
    /// Advances the connected drive's clock by `seconds`; null when the drive keeps
    /// its own time (the dialog then runs in real time).
    void (*advance_drive_clock)(void* context, double seconds);
    void* clock_context;
    /// Receives the JSON report once, before OrvexRunTest returns.
    void (*report)(void* context, const char* json);
    void* report_context;
    /// 1: a loop tuning test presses "Tune" before Start, designing its gains from the
    /// setup's bandwidth and damping, or from these two when they are not NaN
    /// (bandwidth in Hz). 0: it runs with the gains the setup has.
    int tune;
    double bandwidth_hz;
    double damping;
};

/// Runs the test `name` (without regard to case) on `setup`. 1 when the test passed,
/// 0 when it failed or did not start; -1 for an unknown name or no setup, -2 for a
/// test the module has no dialog for yet, -3 for a tuning request the test cannot take
/// (not a tuning test, or a bandwidth or damping outside what the dialog accepts: the
/// report is {"error": why} and nothing was run or changed). `*confirmed`, when given, says whether
/// the dialog ended with the confirm result (the identified values are to be kept).
ORVEX_EXPORT int OrvexRunTest(CMC_Setup* setup, const char* name, const OrvexTestRunHooks* hooks,
                              int* confirmed) {
    if (confirmed) *confirmed = 0;
    if (!setup || !name || !hooks) return -1;
    switch (orvex::LookUpTest(name)) {
        case orvex::TestLookup::kUnknown:
            return -1;
        case orvex::TestLookup::kNotYetAvailable:
            return -2;
        case orvex::TestLookup::kReady:
            break;
    }
    TheOrvexApp();
    orvex::TestRunOptions options;
    options.answer_yes = hooks->answer_yes != 0;
    options.advance = hooks->advance_drive_clock;
    options.advance_context = hooks->clock_context;
    options.tune = hooks->tune != 0;
    if (!std::isnan(hooks->bandwidth_hz)) options.bandwidth_hz = hooks->bandwidth_hz;
    if (!std::isnan(hooks->damping)) options.damping = hooks->damping;
    const orvex::TestRunReport report = orvex::RunTest(setup, name, options);
    if (hooks->report) hooks->report(hooks->report_context, report.json.c_str());
    if (report.outcome == orvex::TestRunReport::Outcome::kRefused) return -3;
    if (confirmed) *confirmed = report.confirmed ? 1 : 0;
    return report.outcome == orvex::TestRunReport::Outcome::kPassed ? 1 : 0;
}

/// The test names OrvexRunTest knows (also those not available yet), null-ended.
ORVEX_EXPORT const char* const* OrvexTestNames() {
    return orvex::TestNames();
}
