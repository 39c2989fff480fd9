#pragma once
// A setup connected to the simulated drive on a manual clock: the drive moves only
// when a test advances time, so runs are fast and repeatable.

#include <memory>
#include <string>

#include "host/drive/coff_format.h"
#include "host/drive/comm.h"
#include "host/drive/scope_logger.h"
#include "host/setup/setup.h"
#include "host/setup/setup_file.h"
#include "simdrive/clock.h"
#include "simdrive/fault_injecting_link.h"
#include "simdrive/scenario.h"
#include "simdrive/simulated_drive.h"

namespace drive_test {

inline const char* kSetup = R"({"format":"orvex-setup","version":1,
  "settings":{"ADCMaxValue":"65520"},
  "parameters":[
    {"name":"Vdc","value":48,"unit":"V","min":5,"max":100,"type":"real"},
    {"name":"VdcMaxMeasurable","value":100,"unit":"V","min":1,"max":2000,"type":"real"},
    {"name":"KPI","value":12000,"min":-32768,"max":32767,"type":"option16"},
    {"name":"SFTKPI","value":3,"min":0,"max":15,"type":"option16"},
    {"name":"MECRESL","value":4000,"min":0,"max":4294967295,"type":"option32"}],
  "variables":[{"name":"MER"},{"name":"var_u2"},{"name":"AD5","unit":"V"}]})";

inline orvex::sim::Scenario ScenarioWithBus(double bus_V) {
    orvex::sim::Scenario s;
    s.drive.bus_voltage_V = bus_V;
    return s;
}

struct SimBench {
    explicit SimBench(const orvex::sim::Scenario& scenario = ScenarioWithBus(36.7))
        : drive(scenario, clock), faults(drive), comm(faults) {
        auto loaded = axis::ParseSetup(kSetup);
        setup = std::move(loaded.setup);
        comm.Attach(setup.get());
        axis::SetProgramDirectory(std::string(ORVEX_RESOURCE_DIR) + "/programs");
    }
    /// Advances simulated time in 1 ms steps, touching the drive each step.
    void Run(double seconds) {
        for (double t = 0; t < seconds; t += 1e-3) {
            clock.Advance(1e-3);
            drive.AdvanceToNow();
        }
    }

    orvex::sim::ManualClock clock;
    orvex::sim::SimulatedDrive drive;
    orvex::drive::FaultInjectingLink faults;
    CMC_Comm comm;
    std::unique_ptr<CMC_Setup> setup;
};

// Feeds every scope frame to `scope` while it lives, as a tuning dialog's frame
// handler does; other messages are passed on.
struct FrameFeed {
    explicit FrameFeed(CMC_ScopeLogger& scope) {
        id = CMC_Comm::RegisterReceiveUnsolicitedMsgHandler(
            [&scope](const std::uint16_t* w, std::size_t n) {
                if (n < 3 || w[2] != CMC_ScopeLogger::kFrameTag) return 0xE900;
                const int taken = scope.OnScopeMessage(w, n);
                return taken < 1 ? taken : 0;
            });
    }
    ~FrameFeed() { CMC_Comm::UnregisterReceiveUnsolicitedMsgHandler(id); }
    int id;
};

}  // namespace drive_test
