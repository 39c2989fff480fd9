#pragma once
// The headless test run behind OrvexRunTest: one test dialog of the module, run
// through the modal seam without anyone at the screen, as a production line runs it
// after assembling a motor. Start is pressed, the dialog's 20 ms ticks are driven
// while the drive's clock advances by the same step, the close question gets the
// answer given, and a JSON report says what happened.

#include <memory>
#include <optional>
#include <string>

class CMC_Setup;
class CMyTestDlg;

namespace orvex {

/// Advances the connected drive's clock by `seconds`; null when the drive keeps its
/// own time (then the dialog's timers run in real time).
using AdvanceDriveClock = void (*)(void* context, double seconds);

struct TestRunOptions {
    bool answer_yes = true;  ///< the answer to the close-time question
    AdvanceDriveClock advance = nullptr;
    void* advance_context = nullptr;
    /// Drive time after which a test that has not ended is stopped and failed.
    double time_limit_s = 600.0;
    /// A loop tuning test presses "Tune" on its "Test" page before Start, so that the
    /// run uses the gains designed from the setup's bandwidth and damping -- first set
    /// to these when given (bandwidth in Hz), each within what the dialog accepts (the
    /// parameter's range; for the bandwidth also the stable bound at that damping).
    bool tune = false;
    std::optional<double> bandwidth_hz;
    std::optional<double> damping;
};

struct TestRunReport {
    /// kRefused: the tuning request does not fit the test (not a tuning test, or a
    /// bandwidth or damping outside its range); nothing ran or changed, and the report
    /// is {"error": why}.
    enum class Outcome { kPassed, kFailed, kNotStarted, kRefused };
    Outcome outcome = Outcome::kNotStarted;
    bool confirmed = false;  ///< the dialog ended with the confirm result
    std::string json;
};

/// What a name in the table stands for.
enum class TestLookup { kReady, kNotYetAvailable, kUnknown };
TestLookup LookUpTest(const char* name);
/// The test names, null-ended, in table order.
const char* const* TestNames();

/// Runs the test `name` on `setup` (connected to a drive). The name must be kReady.
TestRunReport RunTest(CMC_Setup* setup, const char* name, const TestRunOptions& options);

}  // namespace orvex
