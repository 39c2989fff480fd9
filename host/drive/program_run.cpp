#include "host/drive/program_run.h"

#include <cmath>

#include "host/drive/coff_format.h"
#include "host/drive/comm.h"
#include "host/drive/logger.h"
#include "host/setup/setup.h"

namespace axis {
namespace {

constexpr const char* kNoDrive = "No drive connected.";

CMC_Comm* Connection(CMC_Setup* setup, std::string& error) {
    CMC_Comm* comm = CMC_Comm::FromSetup(setup);
    if (!comm) error = kNoDrive;
    return comm;
}

// The descriptor's own spelling of `name`, or null with the reason in `error`.
const CMC_CoffFormat::Variable* ProgramVariable(const CMC_CoffFormat* program,
                                                const std::string& name, std::string& error) {
    if (!program) {
        error = "No drive program given for the variable \"" + name + "\".";
        return nullptr;
    }
    if (!program->IsLoaded()) {
        error = "The drive program file \"" + program->GetFileName() + "\" has not been read.";
        return nullptr;
    }
    const auto* variable = program->FindVariable(name);
    if (!variable)
        error = "\"" + name + "\" is not a variable of the drive program \"" +
                program->GetProgramName() + "\".";
    return variable;
}

}  // namespace

bool StartDriveProgram(CMC_Setup* setup, const std::string& name, CMC_CoffFormat* program,
                       CMC_Logger* logger, std::string& error) {
    CMC_Comm* comm = Connection(setup, error);
    if (!comm) return false;
    if (program) {
        if (!program->IsLoaded()) {
            error = "The drive program file \"" + program->GetFileName() + "\" has not been read.";
            return false;
        }
        if (program->GetProgramName() != name) {
            error = "The program file \"" + program->GetFileName() + "\" describes \"" +
                    program->GetProgramName() + "\", not \"" + name + "\".";
            return false;
        }
    }
    const CMC_Parameters parameters = setup->GetParameters();
    for (int i = 0; i < parameters.GetParametersCount(); ++i) {
        CMC_Parameter* p = parameters[i];
        if (!p->IsOption()) continue;
        if (!p->WriteToChip()) {
            error =
                "Writing the option \"" + p->GetName() + "\" failed: " + setup->GetLastDriveError();
            return false;
        }
    }
    if (logger) {
        if (!logger->Arm(*comm, error)) return false;
    } else if (!comm->ConfigureLogger({})) {
        error = comm->LastError();
        return false;
    }
    if (!comm->ExecuteProgram(name)) {
        error = comm->LastError();
        return false;
    }
    return true;
}

bool ReadProgramVariable(CMC_Setup* setup, const CMC_CoffFormat* program, const std::string& name,
                         double& value, std::string& error) {
    const auto* variable = ProgramVariable(program, name, error);
    if (!variable) return false;
    CMC_Comm* comm = Connection(setup, error);
    if (!comm) return false;
    if (!comm->ReadVariable(variable->name, value)) {
        error = comm->LastError();
        return false;
    }
    if (!std::isfinite(value)) value = kNoValueMarker;
    return true;
}

bool WriteProgramVariable(CMC_Setup* setup, const CMC_CoffFormat* program, const std::string& name,
                          double value, std::string& error) {
    const auto* variable = ProgramVariable(program, name, error);
    if (!variable) return false;
    if (!std::isfinite(value)) {
        error = "The value for \"" + name + "\" is not a number.";
        return false;
    }
    CMC_Comm* comm = Connection(setup, error);
    if (!comm) return false;
    if (comm->WriteVariable(variable->name, value)) return true;
    error = comm->LastError();
    return false;
}

bool StopDriveProgram(CMC_Setup* setup, std::string& error) {
    CMC_Comm* comm = Connection(setup, error);
    if (!comm) return false;
    if (comm->StopProgram()) return true;
    error = comm->LastError();
    return false;
}

bool ReadAxisOn(CMC_Setup* setup, bool& on, std::string& error) {
    CMC_Comm* comm = Connection(setup, error);
    if (!comm) return false;
    if (comm->GetAxisOn(on)) return true;
    error = comm->LastError();
    return false;
}

}  // namespace axis
