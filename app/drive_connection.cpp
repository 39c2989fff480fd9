#include "app/drive_connection.h"

#include <cstdlib>
#include <filesystem>

#include "host/drive/comm.h"
#include "simdrive/clock.h"
#include "simdrive/scenario.h"
#include "simdrive/simulated_drive.h"

namespace axishost {

struct DriveConnection::Simulated {
    Simulated(const orvex::sim::Scenario& scenario, DriveClock kind)
        : manual(kind == DriveClock::kManual ? new orvex::sim::ManualClock : nullptr),
          clock(manual ? static_cast<orvex::sim::Clock*>(manual)
                       : new orvex::sim::RealTimeClock),  // one simulated second per second
          drive(scenario, *clock),
          comm(drive) {}
    orvex::sim::ManualClock* manual;  // the same object as clock, when manual
    std::unique_ptr<orvex::sim::Clock> clock;
    orvex::sim::SimulatedDrive drive;
    CMC_Comm comm;
};

bool TakeDriveOption(std::vector<std::string>& args, std::string& choice, std::string& error) {
    for (size_t i = 0; i < args.size();) {
        if (args[i] == "--drive") {
            if (i + 1 >= args.size()) {
                error = "--drive needs sim, sim:SCENARIO or none";
                return false;
            }
            choice = args[i + 1];
            args.erase(args.begin() + i, args.begin() + i + 2);
        } else if (args[i].rfind("--drive=", 0) == 0) {
            choice = args[i].substr(8);
            args.erase(args.begin() + i);
        } else {
            ++i;
        }
    }
    return true;
}

std::string ResourceDirectory() {
    if (const char* dir = std::getenv("ORVEX_RESOURCE_DIR"); dir && *dir) return dir;
    return ORVEX_RESOURCE_DIR;
}

DriveConnection::DriveConnection() = default;
DriveConnection::~DriveConnection() = default;

bool DriveConnection::Open(const std::string& choice, std::string& error, DriveClock clock) {
    sim_.reset();
    description_ = "none";
    if (choice == "none") return true;
    if (choice != "sim" && choice.rfind("sim:", 0) != 0) {
        error = "--drive takes sim, sim:SCENARIO or none, not \"" + choice + "\"";
        return false;
    }
    std::string scenario = choice == "sim" ? "default" : choice.substr(4);
    if (scenario.empty()) {
        error = "--drive sim: needs a scenario name or file";
        return false;
    }
    // A bare name is one of the shipped scenarios; anything with a folder or an
    // extension is a file.
    std::string path = scenario;
    if (scenario.find('/') == std::string::npos &&
        std::filesystem::path(scenario).extension().empty())
        path = ResourceDirectory() + "/sim/" + scenario + ".json";
    auto parsed = orvex::sim::LoadScenarioFile(path, error);
    if (!parsed) {
        error = "scenario " + path + ": " + error;
        return false;
    }
    sim_ = std::make_unique<Simulated>(*parsed, clock);
    description_ = "simulated drive (" + std::filesystem::path(path).filename().string() + ")";
    return true;
}

void DriveConnection::Attach(CMC_Setup* setup) {
    if (sim_) sim_->comm.Attach(setup);
}

void DriveConnection::Detach(CMC_Setup* setup) {
    if (sim_) sim_->comm.Detach(setup);
}

bool DriveConnection::HasManualClock() const {
    return sim_ && sim_->manual;
}

void DriveConnection::AdvanceClock(double seconds) {
    if (sim_ && sim_->manual) sim_->manual->Advance(seconds);
}

}  // namespace axishost
