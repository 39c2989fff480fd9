#include "host/setup/setup.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "host/setup/names.h"

int g_bShowErrors = 1;

CMC_Setup::CMC_Setup() = default;
CMC_Setup::~CMC_Setup() = default;

void CMC_Setup::ReportMissing(const char* kind, std::string_view name) const {
    if (!g_bShowErrors) return;
    std::fprintf(stderr, "%s \"%.*s\" is not defined in the setup.\n", kind,
                 static_cast<int>(name.size()), name.data());
}

CMC_Parameter* CMC_Setup::FindParameter(std::string_view name) const {
    if (CMC_Parameter* p = parameter_index_.Find(name)) return p;
    ReportMissing("Parameter", name);
    return nullptr;
}

bool CMC_Setup::ResolveUnits(const std::string& base_unit, const std::string& display_unit,
                             const CMC_Unit*& base, const CMC_Unit*& shown) const {
    base = units_.FindBaseUnit(base_unit);
    if (!base) return false;
    shown = base->GetUnitType()->FindUnit(display_unit.empty() ? base_unit : display_unit);
    return shown != nullptr;
}

CMC_Parameter* CMC_Setup::AddParameter(const std::string& name, int type,
                                       const std::string& base_unit,
                                       const std::string& display_unit, double value, double min,
                                       double max) {
    if (name.empty() || type < kTypeReal || type > kTypeOption32) return nullptr;
    const bool option = type == kTypeOption16 || type == kTypeOption32;
    // A register value has no unit: its units are the unitless one.
    if (option && !(base_unit.empty() && display_unit.empty())) return nullptr;
    static const std::string kUnitless;
    const CMC_Unit* base = nullptr;
    const CMC_Unit* shown = nullptr;
    if (!ResolveUnits(option ? kUnitless : base_unit, display_unit, base, shown)) return nullptr;
    // Added first and taken back when the name is taken: one probe of the index per
    // parameter, which is what loading a large setup spends its time on.
    CMC_Parameter* param = parameter_store_.Make(this, name, type, base, shown, value, min, max);
    if (!parameter_index_.Insert(param)) {
        parameter_store_.UnmakeLast();
        return nullptr;
    }
    parameters_.push_back(param);
    return param;
}

double CMC_Setup::GetParameterValueInBaseUnit(std::string_view name) const {
    const CMC_Parameter* p = FindParameter(name);
    return p ? p->GetValueInBaseUnit() : 0.0;
}

int CMC_Setup::SetParameterValueInBaseUnit(std::string_view name, double value) {
    CMC_Parameter* p = FindParameter(name);
    return p ? p->SetValueInBaseUnit(value) : 0;
}

double CMC_Setup::GetParameterValueInInternalUnit(std::string_view name) const {
    const CMC_Parameter* p = FindParameter(name);
    return p ? p->GetValueInInternalUnit() : 0.0;
}

int CMC_Setup::SetParameterValueInInternalUnit(std::string_view name, double value) {
    CMC_Parameter* p = FindParameter(name);
    return p ? p->SetValueInInternalUnit(value) : 0;
}

double CMC_Setup::GetParameterValue(std::string_view name) const {
    const CMC_Parameter* p = FindParameter(name);
    return p ? p->GetValue() : 0.0;
}

std::string CMC_Setup::GetParameterUnit(std::string_view name) const {
    const CMC_Parameter* p = FindParameter(name);
    return p ? p->GetUnitName() : std::string();
}

int CMC_Setup::ChangeParameterUnit(std::string_view name, const std::string& unit) {
    CMC_Parameter* p = FindParameter(name);
    return p ? p->ChangeUnit(unit) : 0;
}

CMC_Variable* CMC_Setup::FindVariable(std::string_view name, int report) const {
    if (CMC_Variable* v = variable_index_.Find(name)) return v;
    if (report) ReportMissing("Variable", name);
    return nullptr;
}

CMC_Variable* CMC_Setup::AddVariable(const std::string& name, const std::string& base_unit,
                                     const std::string& display_unit) {
    if (name.empty() || variable_index_.Find(name)) return nullptr;
    const CMC_Unit* base = nullptr;
    const CMC_Unit* shown = nullptr;
    if (base_unit.empty() ? !display_unit.empty()
                          : !ResolveUnits(base_unit, display_unit, base, shown))
        return nullptr;
    variables_.push_back(std::make_unique<CMC_Variable>(this, name,
                                                        base ? base->GetName() : std::string(),
                                                        shown ? shown->GetName() : std::string()));
    variable_index_.Insert(variables_.back().get());
    return variables_.back().get();
}

int CMC_Setup::GetIntOption(std::string_view name) const {
    for (const auto& [key, text] : options_)
        if (axis::NamesEqual(key, name)) return std::atoi(text.c_str());
    ReportMissing("Setting", name);
    return 0;
}

std::string CMC_Setup::GetOptionNoError(std::string_view name) const {
    for (const auto& [key, text] : options_)
        if (axis::NamesEqual(key, name)) return text;
    return {};
}

void CMC_Setup::SetOption(std::string_view name, const std::string& text) {
    for (auto& [key, value] : options_) {
        if (axis::NamesEqual(key, name)) {
            value = text;
            return;
        }
    }
    options_.emplace_back(std::string(name), text);
}

void CMC_Setup::ClearOption(std::string_view name) {
    std::erase_if(options_, [&](const auto& o) { return axis::NamesEqual(o.first, name); });
}

double CMC_Setup::ScaleFactor(const std::string& unit, const std::string& name) const {
    if (!scale_.factor) return 1.0;
    return scale_.factor(const_cast<CMC_Setup*>(this), unit.c_str(), name.c_str());
}

double CMC_Setup::ScaleOffset(const std::string& unit) const {
    if (!scale_.offset) return 0.0;
    return scale_.offset(const_cast<CMC_Setup*>(this), unit.c_str());
}

int CMC_Setup::SetDescription(const std::string& text) {
    identity_.description = text;
    return 1;
}

int CMC_Setup::SetProductID(const std::string& text) {
    identity_.product_id = text;
    return 1;
}

int CMC_Setup::SetFirmwareID(const std::string& text) {
    if (text.empty() || text.size() > 64) return 0;
    identity_.firmware_id = text;
    return 1;
}

int CMC_Setup::SetUserAppID(const std::string& text) {
    identity_.user_app_id = text;
    return 1;
}

int CMC_Setup::SetE2ROMSize(int words) {
    if (words < 0) return 0;
    identity_.e2rom_words = words;
    return 1;
}

int CMC_Setup::GetIOPortFromPin(int pin) const {
    for (const auto& o : brake_outputs_)
        if (o.pin == pin) return o.port;
    return -1;
}

int CMC_Setup::GetIOPinFromPort(int port) const {
    for (const auto& o : brake_outputs_)
        if (o.port == port) return o.pin;
    return -1;
}

int CMC_Setup::IsBrakePortEnable(int port) const {
    for (const auto& o : brake_outputs_)
        if (o.port == port) return o.enable_bits;
    return 0;
}

bool CMC_Setup::IsIOVX5PortInverted(int port) const {
    for (const auto& o : brake_outputs_)
        if (o.port == port) return o.inverted;
    return false;
}

int CMC_Setup::FillIOBrakeCombo(const std::function<void(const std::string&, int)>& add_item,
                                int current_port) const {
    int selected = -1;
    for (size_t i = 0; i < brake_outputs_.size(); ++i) {
        add_item(brake_outputs_[i].name, brake_outputs_[i].port);
        if (brake_outputs_[i].port == current_port) selected = static_cast<int>(i);
    }
    return selected;
}

int CMC_Setup::ExecuteString(const std::string& command, int, void*) {
    if (!chip_link_) {
        SetLastDriveError("No drive connected.");
        return 0;
    }
    std::string error;
    if (!chip_link_->ExecuteString(command, error)) {
        SetLastDriveError(error);
        return 0;
    }
    return 1;
}

unsigned int Compute_ADCMaxValue(const CMC_Setup* setup) {
    const std::string text = setup->GetOptionNoError("ADCMaxValue");
    if (text.empty()) return 65520u;
    return static_cast<unsigned int>(std::strtoul(text.c_str(), nullptr, 10));
}
