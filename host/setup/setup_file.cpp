#include "host/setup/setup_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "host/setup/file_save.h"
#include "host/setup/names.h"
#include "util/json/json_reader.h"

namespace axis {

namespace {

using Json = orvex::json::Value;

constexpr const char* kFormatTag = "orvex-setup";
constexpr int kFormatVersion = 1;
// Top, parameter list, parameter: three levels; members kept for later versions of
// the format may nest a little more.
constexpr int kMaxSetupDepth = 16;

const char* const kTypeNames[] = {"real", "integer",  "switch",  "choice",
                                  "text", "option16", "option32"};

int TypeFromName(const std::string& name) {
    for (int i = 0; i < 7; ++i)
        if (name == kTypeNames[i]) return i;
    return -1;
}

// A refusal carries the place in the file where the problem is.
struct LoadError {
    std::string where;
    std::string what;
};

const Json& Member(const Json& obj, const char* key, const std::string& where) {
    if (!obj.is_object()) throw LoadError{where, "not an object"};
    auto it = obj.find(key);
    if (it == obj.end()) throw LoadError{where + "." + key, "missing"};
    return *it;
}

double Number(const Json& obj, const char* key, const std::string& where) {
    const Json& v = Member(obj, key, where);
    if (!v.is_number()) throw LoadError{where + "." + key, "not a number"};
    const double d = v.get<double>();
    if (!std::isfinite(d)) throw LoadError{where + "." + key, "not a finite number"};
    return d;
}

std::string Text(const Json& obj, const char* key, const std::string& where, bool required = true) {
    if (!obj.is_object()) throw LoadError{where, "not an object"};
    auto it = obj.find(key);
    if (it == obj.end()) {
        if (required) throw LoadError{where + "." + key, "missing"};
        return {};
    }
    if (!it->is_string()) throw LoadError{where + "." + key, "not a text"};
    return it->get<std::string>();
}

void CheckKnownKeys(const Json& obj, std::initializer_list<const char*> known,
                    const std::string& where) {
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        bool ok = false;
        for (const char* k : known) ok = ok || it.key() == k;
        if (!ok) throw LoadError{where + "." + it.key(), "unknown field"};
    }
}

std::string Place(const char* array, size_t i) {
    return std::string(array) + "[" + std::to_string(i) + "]";
}

void LoadParameters(const Json& list, CMC_Setup& setup, std::vector<std::string>& warnings) {
    if (!list.is_array()) throw LoadError{"parameters", "not an array"};
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string where = Place("parameters", i);
        const Json& p = list[i];
        if (!p.is_object()) throw LoadError{where, "not an object"};
        CheckKnownKeys(p, {"name", "value", "unit", "show", "min", "max", "type"}, where);
        const std::string name = Text(p, "name", where);
        if (name.empty()) throw LoadError{where + ".name", "empty"};
        const int type = TypeFromName(Text(p, "type", where));
        if (type < 0)
            throw LoadError{where + ".type", "unknown type \"" + Text(p, "type", where) + "\""};
        const double value = Number(p, "value", where);
        const double min = Number(p, "min", where);
        const double max = Number(p, "max", where);
        const std::string unit = Text(p, "unit", where, false);
        const std::string show = Text(p, "show", where, false);
        if (setup.FindParameter(name))
            throw LoadError{where + ".name", "duplicate name \"" + name + "\""};
        const bool option = type == kTypeOption16 || type == kTypeOption32;
        if (option && (!unit.empty() || !show.empty()))
            throw LoadError{where + ".unit", "an option (drive register) has no unit"};
        if (!option) {
            const CMC_Unit* base = setup.GetUnits()->FindBaseUnit(unit);
            if (!base) {
                const CMC_Unit* any = setup.GetUnits()->FindUnit(unit);
                throw LoadError{where + ".unit",
                                any ? "\"" + unit + "\" is not a base unit (use \"" +
                                          any->GetUnitType()->GetBaseUnit()->GetName() + "\")"
                                    : "unknown unit \"" + unit + "\""};
            }
            if (!show.empty() && !base->GetUnitType()->FindUnit(show))
                throw LoadError{where + ".show",
                                "\"" + show + "\" is not a unit of the type of \"" + unit + "\""};
        }
        CMC_Parameter* param = setup.AddParameter(name, type, unit, show, value, min, max);
        if (!param) throw LoadError{where, "refused"};
        param->RestoreStored(value, min, max);
        if (min > max)
            warnings.push_back(where + " \"" + name + "\": minimum " + Json(min).dump() +
                               " above maximum " + Json(max).dump());
        else if (value < min || value > max)
            warnings.push_back(where + " \"" + name + "\": value " + Json(value).dump() +
                               " outside [" + Json(min).dump() + ", " + Json(max).dump() + "]");
    }
}

void LoadVariables(const Json& list, CMC_Setup& setup) {
    if (!list.is_array()) throw LoadError{"variables", "not an array"};
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string where = Place("variables", i);
        const Json& v = list[i];
        if (!v.is_object()) throw LoadError{where, "not an object"};
        CheckKnownKeys(v, {"name", "unit", "show"}, where);
        const std::string name = Text(v, "name", where);
        if (name.empty()) throw LoadError{where + ".name", "empty"};
        const std::string unit = Text(v, "unit", where, false);
        const std::string show = Text(v, "show", where, false);
        if (setup.FindVariable(name, 0))
            throw LoadError{where + ".name", "duplicate name \"" + name + "\""};
        if (!unit.empty() && !setup.GetUnits()->FindBaseUnit(unit))
            throw LoadError{where + ".unit", "unknown base unit \"" + unit + "\""};
        if (!setup.AddVariable(name, unit, show))
            throw LoadError{where + ".show",
                            "\"" + show + "\" is not a unit of the type of \"" + unit + "\""};
    }
}

void LoadDrive(const Json& d, CMC_Setup& setup) {
    if (!d.is_object()) throw LoadError{"drive", "not an object"};
    CheckKnownKeys(
        d, {"description", "productId", "firmwareId", "userAppId", "e2romWords", "helpFile"},
        "drive");
    setup.SetDescription(Text(d, "description", "drive", false));
    setup.SetProductID(Text(d, "productId", "drive", false));
    const std::string fw = Text(d, "firmwareId", "drive", false);
    if (!fw.empty() && !setup.SetFirmwareID(fw))
        throw LoadError{"drive.firmwareId", "longer than 64 characters"};
    setup.SetUserAppID(Text(d, "userAppId", "drive", false));
    if (d.contains("e2romWords")) {
        const double words = Number(d, "e2romWords", "drive");
        if (words < 0 || words != std::floor(words) || words > 1e9)
            throw LoadError{"drive.e2romWords", "not a whole number of words"};
        setup.SetE2ROMSize(static_cast<int>(words));
    }
    setup.SetHelpFile(Text(d, "helpFile", "drive", false));
}

void LoadBrakeOutputs(const Json& list, CMC_Setup& setup) {
    if (!list.is_array()) throw LoadError{"brakeOutputs", "not an array"};
    std::vector<BrakeOutput> outputs;
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string where = Place("brakeOutputs", i);
        const Json& o = list[i];
        CheckKnownKeys(o, {"port", "pin", "name", "enableBits", "inverted"}, where);
        auto whole = [&](const char* key) {
            const double v = Number(o, key, where);
            if (v != std::floor(v) || std::abs(v) > 1e9)
                throw LoadError{where + "." + key, "not a whole number"};
            return static_cast<int>(v);
        };
        BrakeOutput b;
        b.port = whole("port");
        b.pin = whole("pin");
        b.name = Text(o, "name", where);
        b.enable_bits = whole("enableBits");
        const Json& inv = Member(o, "inverted", where);
        if (!inv.is_boolean()) throw LoadError{where + ".inverted", "not true or false"};
        b.inverted = inv.get<bool>();
        for (const auto& other : outputs)
            if (other.port == b.port) throw LoadError{where + ".port", "duplicate port"};
        outputs.push_back(b);
    }
    setup.SetBrakeOutputs(std::move(outputs));
}

}  // namespace

SetupLoadResult ParseSetup(const std::string& text, const std::string& origin) {
    SetupLoadResult result;
    // Names of a setup are one name in any letter case, in the file as in the model;
    // a setup is a few levels deep, so anything much deeper is refused unbuilt.
    orvex::json::Document doc =
        orvex::json::Parse(text, {.max_depth = kMaxSetupDepth, .fold_case = true});
    if (!doc.ok()) {
        result.error = origin + ": " + doc.error;
        return result;
    }
    const Json& root = doc.value;
    auto setup = std::make_unique<CMC_Setup>();
    ScopedSilentLookup silent;  // the loader's own duplicate checks are not errors to report
    try {
        if (!root.is_object()) throw LoadError{"(top)", "not a JSON object"};
        const std::string format = Text(root, "format", "(top)");
        if (format != kFormatTag)
            throw LoadError{"format", "\"" + format + "\" is not \"orvex-setup\""};
        const double version = Number(root, "version", "(top)");
        if (version != kFormatVersion)
            throw LoadError{"version", Json(version).dump() + " is not a supported version (1)"};
        for (auto it = root.begin(); it != root.end(); ++it) {
            const std::string& key = it.key();
            if (key == "format" || key == "version") continue;
            if (key == "drive")
                LoadDrive(*it, *setup);
            else if (key == "settings") {
                if (!it->is_object()) throw LoadError{"settings", "not an object"};
                for (auto s = it->begin(); s != it->end(); ++s) {
                    if (!s->is_string()) throw LoadError{"settings." + s.key(), "not a text"};
                    setup->SetOption(s.key(), s->get<std::string>());
                }
            } else if (key == "brakeOutputs")
                LoadBrakeOutputs(*it, *setup);
            else if (key == "parameters")
                LoadParameters(*it, *setup, result.warnings);
            else if (key == "variables")
                LoadVariables(*it, *setup);
            else
                setup->ExtraFileMembers()[key] = it->dump();
        }
        if (!root.contains("parameters")) throw LoadError{"parameters", "missing"};
    } catch (const LoadError& e) {
        result.error = origin + ": " + e.where + ": " + e.what;
        result.warnings.clear();
        return result;
    } catch (const Json::exception& e) {
        result.error = origin + ": " + e.what();
        result.warnings.clear();
        return result;
    }
    for (auto& w : result.warnings) w = origin + ": " + w;
    result.setup = std::move(setup);
    return result;
}

SetupLoadResult LoadSetupFile(const std::string& path) {
    std::string text, reason;
    if (!orvex::json::ReadFileText(path, text, reason)) {
        SetupLoadResult r;
        r.error = path + ": cannot be opened: " + reason;
        return r;
    }
    return ParseSetup(text, path);
}

std::string SerializeSetup(const CMC_Setup& setup) {
    auto num = [](double v) { return Json(v).dump(); };
    auto str = [](const std::string& s) { return Json(s).dump(); };
    std::ostringstream out;
    out << "{\n  \"format\": \"" << kFormatTag << "\", \"version\": " << kFormatVersion << ",\n";
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
