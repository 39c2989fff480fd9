#include "simdrive/fault_injecting_link.h"

namespace orvex::drive {

bool FaultInjectingLink::Take(std::map<std::string, std::string>& armed, const std::string& name) {
    auto it = armed.find(name);
    if (it == armed.end()) {
        injected_ = false;
        return false;
    }
    injected_ = true;
    injected_error_ = it->second;
    armed.erase(it);
    return true;
}

bool FaultInjectingLink::ReadVariable(const std::string& name, double& value) {
    if (Take(reads_, name)) return false;
    return inner_.ReadVariable(name, value);
}

bool FaultInjectingLink::WriteVariable(const std::string& name, double value) {
    if (Take(writes_, name)) return false;
    return inner_.WriteVariable(name, value);
}

bool FaultInjectingLink::WriteRegister(const std::string& name, double value, int bits) {
    if (Take(writes_, name)) return false;
    return inner_.WriteRegister(name, value, bits);
}

bool FaultInjectingLink::ExecuteProgram(const std::string& program) {
    if (!execute_.empty()) {
        injected_ = true;
        injected_error_ = execute_;
        execute_.clear();
        return false;
    }
    injected_ = false;
    return inner_.ExecuteProgram(program);
}

}  // namespace orvex::drive
