#pragma once
// The tuning dialogs on the shipped demo setup and a simulated drive whose clock the
// test moves: open a dialog on its "Test" page, tick it, read what the drive holds.

#include <QTabWidget>
#include <cmath>
#include <functional>

#include "host/ui/modal_seam.h"
#include "tests/identification/identification_bench.h"
#include "tuning/tuning_test_dlg.h"

namespace tuning_test {

using identification_test::DemoBench;

/// A register as the simulated drive holds it now.
inline double Register(DemoBench& bench, const char* name) {
    double value = NAN;
    EXPECT_TRUE(bench.drive.ReadRegister(name, value)) << name;
    return value;
}

/// An option as the drive holds it: the register takes the whole part.
inline double Option(DemoBench& bench, const char* name) {
    return std::trunc(bench.Value(name));
}

/// Opens a `Dialog` on `bench`, goes to the "Test" page and hands it to `script`.
template <class Dialog>
void WithDialog(DemoBench& bench, const std::function<void(Dialog&, QDialog&)>& script) {
    axis::ScriptedModalSeam seam;
    Dialog dlg(bench.setup.get(), 1, nullptr);
    seam.AnswerDialog([&](QDialog& d) {
        d.findChild<QTabWidget*>("pageTabs")->setCurrentIndex(CTuningTestDlg::kTestPage);
        script(dlg, d);
        d.reject();
    });
    dlg.DoModal();
}

/// Ticks every 20 ms of drive time until `done` (or the test ended, or 30 s passed).
inline void Tick(DemoBench& bench, CTuningTestDlg& dlg, const std::function<bool()>& done) {
    for (int tick = 0; tick < 1500 && dlg.IsRunning() && !done(); ++tick) {
        bench.clock.Advance(0.020);
        if (dlg.IsTimerRunning(1)) dlg.OnTimer(1);
    }
}

}  // namespace tuning_test
