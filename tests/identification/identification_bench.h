#pragma once
// The shipped demo setup on a simulated drive that moves only when a test advances
// its clock: a test dialog's 20 ms ticks are driven by hand, each after 20 ms of
// drive time, so whole identification runs take milliseconds.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "compute/sequences.h"
#include "compute/units_transmission.h"
#include "host/drive/coff_format.h"
#include "host/drive/comm.h"
#include "host/setup/setup.h"
#include "host/setup/setup_file.h"
#include "host/ui/modal_seam.h"
#include "identification/my_test_dlg.h"
#include "simdrive/clock.h"
#include "simdrive/fault_injecting_link.h"
#include "simdrive/scenario.h"
#include "simdrive/simulated_drive.h"
#include "tests/support/shipped_setup.h"

namespace identification_test {

/// A shipped bench of resources/sim/ ("default", "phase_b_open" ...).
inline orvex::sim::Scenario Bench(const std::string& name) {
    std::string error;
    auto s = orvex::sim::LoadScenarioFile(
        std::string(ORVEX_RESOURCE_DIR) + "/sim/" + name + ".json", error);
    EXPECT_TRUE(s.has_value()) << name << ": " << error;
    return s ? *s : orvex::sim::Scenario{};
}

struct DemoBench {
    explicit DemoBench(const orvex::sim::Scenario& scenario = Bench("default"))
        : drive(scenario, clock), faults(drive), comm(faults) {
        setup = orvex_test::LoadShippedSetup("demo.json");
        orvex::ComputeAllOptions(setup.get());
        comm.Attach(setup.get());
        axis::SetProgramDirectory(std::string(ORVEX_RESOURCE_DIR) + "/programs");
    }
    explicit DemoBench(const char* bench_name) : DemoBench(Bench(bench_name)) {}

    /// Replaces the setup with the demo setup lacking the parameter `name`.
    void UseSetupWithout(const char* name) {
        std::ifstream in(std::string(ORVEX_RESOURCE_DIR) + "/setups/demo.json");
        nlohmann::json j = nlohmann::json::parse(in);
        auto& parameters = j["parameters"];
        for (auto it = parameters.begin(); it != parameters.end(); ++it)
            if ((*it)["name"] == name) {
                parameters.erase(it);
                break;
            }
        auto parsed = axis::ParseSetup(j.dump());
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        comm.Detach(setup.get());
        setup = std::move(parsed.setup);
        orvex::InstallScaleProvider(setup.get());
        orvex::ComputeAllOptions(setup.get());
        comm.Attach(setup.get());
    }

    double Value(const char* name) const { return setup->GetParameterValueInBaseUnit(name); }
    void Set(const char* name, double value) { setup->SetParameterValueInBaseUnit(name, value); }

    /// Presses Start and ticks the dialog every 20 ms of drive time until the test
    /// ends (or `limit_s` of drive time passed). Returns the drive time taken.
    /// `each_tick`, when given, runs before every tick.
    double Run(CMyTestDlg& dlg, double limit_s = 120.0,
               const std::function<void()>& each_tick = nullptr) {
        auto* start = dlg.findChild<QAbstractButton*>("startStopButton");
        EXPECT_NE(start, nullptr);
        if (!start) return 0.0;
        start->click();
        double t = 0.0;
        while (dlg.IsRunning() && dlg.IsTimerRunning(1) && t < limit_s) {
            clock.Advance(0.020);
            t += 0.020;
            if (each_tick) each_tick();
            dlg.OnTimer(1);
        }
        EXPECT_FALSE(dlg.IsRunning()) << "still running after " << t << " s";
        return t;
    }

    orvex::sim::ManualClock clock;
    orvex::sim::SimulatedDrive drive;
    orvex::drive::FaultInjectingLink faults;
    CMC_Comm comm;
    std::unique_ptr<CMC_Setup> setup;
};

/// Shows `dlg` through `seam` and runs `script` in it; what is still open afterwards
/// is cancelled. The dialog's result.
inline int Show(CMC_EditSetupDlg& dlg, axis::ScriptedModalSeam& seam,
                const std::function<void(QDialog&)>& script) {
    seam.AnswerDialog([&](QDialog& d) {
        script(d);
        if (d.isVisible()) d.reject();
    });
    return dlg.DoModal();
}

/// Ticks `dlg` after every 20 ms of the bench's drive time, at most `ticks` times and
/// while `go_on` holds (always, when not given).
template <class AnyBench>
void Tick(AnyBench& bench, CMyTestDlg& dlg, int ticks, const std::function<bool()>& go_on = {}) {
    for (int tick = 0; tick < ticks && (!go_on || go_on()); ++tick) {
        bench.clock.Advance(0.020);
        dlg.OnTimer(1);
    }
}

/// Whether the drive runs a program; a drive that cannot say fails the test.
template <class AnyBench>
bool ProgramRunning(AnyBench& bench) {
    bool running = true;
    EXPECT_TRUE(bench.comm.IsProgramRunning(running));
    return running;
}

inline QAbstractButton* Button(QWidget& d, const char* name) {
    auto* b = d.findChild<QAbstractButton*>(name);
    EXPECT_NE(b, nullptr) << name;
    return b;
}

/// The text of the field `name`; a missing field fails the test.
inline QString Field(QWidget& d, const char* name) {
    auto* edit = d.findChild<QLineEdit*>(name);
    EXPECT_NE(edit, nullptr) << name;
    return edit ? edit->text() : QString();
}

}  // namespace identification_test
