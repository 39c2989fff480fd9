#include "simdrive/programs.h"

#include "simdrive/program_set.h"

namespace orvex::sim {

void DriveProgram::Fast(DriveCore& core) {
    if (finished_) return;
    if (!began_) {
        // A program that needs the power stage waits, not started, until the
        // drive lets it switch on (ENABLE active, no latched fault).
        if (NeedsPower() && !core.PowerOn()) return;
        began_ = true;
        begin_s_ = core.time_s();
        if (!DefersStarted()) Set("STARTED", 1);
        Begin(core);
        if (finished_) return;
    }
    if (NeedsPower() && !core.power_on()) {
        PowerLost(core);
        return;
    }
    FastSample(core);
}

void DriveProgram::Slow(DriveCore& core) {
    if (!began_ || finished_) return;
    if (NeedsPower() && !core.power_on()) return;  // the fast sample handles it
    SlowSample(core);
}

void DriveProgram::Finish(DriveCore& core) {
    finished_ = true;
    // A program that measured before reporting STARTED reports it now; one that
    // never began (stopped while waiting for ENABLE) never started.
    if (began_) Set("STARTED", 1);
    core.PowerOff();
    core.SetHandTurning(false);
    core.SetTestCurrentLimit(0);
    core.SetTestSpeedLimit(0);
    core.SetTestProtection(0);
}

double DriveProgram::Get(const std::string& name) const {
    auto it = vars_.find(name);
    return it == vars_.end() ? 0.0 : it->second;
}

const std::vector<ProgramInfo>& ProgramCatalogue() {
    static const std::vector<ProgramInfo> catalogue = [] {
        const std::vector<std::string> segments = {"a0", "a1", "a2", "a3", "a4", "a5",    "b0",
                                                   "b1", "b2", "b3", "b4", "b5", "MultiC"};
        auto with_segments = [&](std::vector<std::string> head) {
            head.insert(head.end(), segments.begin(), segments.end());
            head.push_back("test_flag");
            return head;
        };
        return std::vector<ProgramInfo>{
            {"Initial_Positioning_Test", {"STARTED", "In1"}, false},
            {"Motor_Phase_Connection_Test", {"STARTED", "RefTest"}, false},
            {"Encoder_Connection_Test", {"STARTED"}, true},
            {"Encoder_Resolution_And_Direction_Test", {"STARTED", "RefTest", "PolesPairs"}, false},
            {"Ident_R_or_Rs", {"STARTED", "In1", "RefTest"}, false},
            {"Ident_L_or_Tau_el", {"STARTED", "In1", "RefTest"}, false},
            {"Current_Controller_Tuning_Test",
             {"STARTED", "RefTest", "In1", "Imax_Prot_Test", "test_flag"},
             false},
            {"Angle_Controller_Tuning_Test",
             {"STARTED", "In1", "ReferenceIncrement", "TimeLimit", "test_flag"},
             false},
            {"Total_Inertia_Identification_Test",
             {"STARTED", "RefTest", "In1", "LimitSpeedMax", "Imax_Prot_Test", "test_flag",
              "delta_time", "delta_speed"},
             false},
            {"VDC_Detection_Test", {"STARTED"}, false},
            {"Analogue_Reference_Test", {"STARTED"}, true},
            {"Speed_Controller_Tuning_Test",
             with_segments({"STARTED", "RefTest", "IlimPS_Test", "Imax_Prot_Test"}), false},
            {"Position_Controller_Tuning_Test_with_SpdCtrl",
             with_segments({"STARTED", "RefTest", "LimitSpeed_Test", "Imax_Prot_Test"}), false},
            {"Position_Controller_Tuning_Test_without_SpdCtrl",
             with_segments({"STARTED", "RefTest", "IlimPS_Test", "Imax_Prot_Test"}), false},
        };
    }();
    return catalogue;
}

std::unique_ptr<DriveProgram> MakeProgram(const std::string& name, VariableStore& vars) {
    if (auto p = MakeIdentificationProgram(name, vars)) return p;
    return MakeTuningProgram(name, vars);
}

}  // namespace orvex::sim
