#include "host/setup/setup_file.h"

#include <sstream>

#include "host/setup/file_save.h"
#include "host/setup/setup_format.h"
#include "util/json/json_reader.h"

namespace axis {

namespace {
using Json = orvex::json::Value;
using setup_format::kTypeNames;
}  // namespace

std::string SerializeSetup(const CMC_Setup& setup) {
    auto num = [](double v) { return Json(v).dump(); };
    auto str = [](const std::string& s) { return Json(s).dump(); };
    std::ostringstream out;
    out << "{\n  \"format\": \"" << setup_format::kTag
        << "\", \"version\": " << setup_format::kVersion << ",\n";
    out << "  \"drive\": {\"description\": " << str(setup.GetDescription())
        << ", \"productId\": " << str(setup.GetProductID())
        << ", \"firmwareId\": " << str(setup.GetFirmwareID())
        << ", \"userAppId\": " << str(setup.GetUserAppID())
        << ", \"e2romWords\": " << setup.GetE2ROMSize()
        << ", \"helpFile\": " << str(setup.GetHelpFile()) << "},\n";
    out << "  \"settings\": {";
    const auto& options = setup.GetOptions();
    for (size_t i = 0; i < options.size(); ++i)
        out << (i ? ",\n    " : "\n    ") << str(options[i].first) << ": "
            << str(options[i].second);
    out << (options.empty() ? "},\n" : "\n  },\n");
    out << "  \"brakeOutputs\": [";
    const auto& brakes = setup.GetBrakeOutputs();
    for (size_t i = 0; i < brakes.size(); ++i) {
        const auto& b = brakes[i];
        out << (i ? ",\n    " : "\n    ") << "{\"port\": " << b.port << ", \"pin\": " << b.pin
            << ", \"name\": " << str(b.name) << ", \"enableBits\": " << b.enable_bits
            << ", \"inverted\": " << (b.inverted ? "true" : "false") << "}";
    }
    out << (brakes.empty() ? "],\n" : "\n  ],\n");
    out << "  \"parameters\": [";
    const CMC_Parameters params = setup.GetParameters();
    for (int i = 0; i < params.GetParametersCount(); ++i) {
        const CMC_Parameter* p = params[i];
        out << (i ? ",\n    " : "\n    ") << "{\"name\": " << str(p->GetName())
            << ", \"value\": " << num(p->GetValueInBaseUnit());
        if (!p->IsOption()) {
            out << ", \"unit\": " << str(p->GetBaseUnitName());
            if (p->GetUnitName() != p->GetBaseUnitName())
                out << ", \"show\": " << str(p->GetUnitName());
        }
        out << ", \"min\": " << num(p->GetMinInBaseUnit())
            << ", \"max\": " << num(p->GetMaxInBaseUnit()) << ", \"type\": \""
            << kTypeNames[p->GetType()] << "\"}";
    }
    out << (params.GetParametersCount() ? "\n  ],\n" : "],\n");
    out << "  \"variables\": [";
    for (int i = 0; i < setup.GetVariablesCount(); ++i) {
        const CMC_Variable* v = setup.GetVariableAt(i);
        out << (i ? ",\n    " : "\n    ") << "{\"name\": " << str(v->GetName());
        if (!v->GetBaseUnitName().empty()) {
            out << ", \"unit\": " << str(v->GetBaseUnitName());
            if (v->GetUnitName() != v->GetBaseUnitName())
                out << ", \"show\": " << str(v->GetUnitName());
        }
        out << "}";
    }
    out << (setup.GetVariablesCount() ? "\n  ]" : "]");
    for (const auto& [key, text] : setup.ExtraFileMembers())
        out << ",\n  " << str(key) << ": " << text;
    out << "\n}\n";
    return out.str();
}

std::string SaveSetupFile(const CMC_Setup& setup, const std::string& path) {
    return SaveFileAtomically(path, SerializeSetup(setup));
}

}  // namespace axis
