// Reading setup files. The parameter list, which may hold a million entries, is read
// as the parser meets it: each parameter goes into the setup from a few reused
// buffers, with no document built for it first. The other members are small; each is
// built as a JSON value and checked whole. Faults are reported as a whole-document
// reader would: a fault in the text anywhere comes first, then a wrong format or
// version, then the first fault in the content in file order.

#include <cmath>
#include <optional>

#include "host/setup/names.h"
#include "host/setup/setup_file.h"
#include "host/setup/setup_format.h"
#include "util/json/json_reader.h"

namespace axis {

namespace {

using Json = orvex::json::Value;

// Top, parameter list, parameter: three levels; members kept for later versions of
// the format may nest a little more.
constexpr int kMaxSetupDepth = 16;

// A refusal carries the place in the file where the problem is (empty: the problem
// has no place, its text says all).
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

void LoadSettings(const Json& settings, CMC_Setup& setup) {
    if (!settings.is_object()) throw LoadError{"settings", "not an object"};
    for (auto s = settings.begin(); s != settings.end(); ++s) {
        if (!s->is_string()) throw LoadError{"settings." + s.key(), "not a text"};
        setup.SetOption(s.key(), s->get<std::string>());
    }
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

// The members of one entry of the parameter list as they came. The buffers are
// reused from one parameter to the next, so a long list costs no allocation for them.
class ParameterFields {
  public:
    enum Id { kName, kValue, kUnit, kShow, kMin, kMax, kType, kCount };
    enum Kind { kAbsent, kText, kNumber, kOther };

    void Clear() {
        for (Field& f : fields_) f.kind = kAbsent;
        unknown_.reset();
        current_ = kCount;
    }
    // A member name: the next value belongs to it. The first name that is not a
    // parameter member is kept for the refusal.
    void Key(const std::string& key) {
        current_ = kCount;
        for (int id = 0; id < kCount; ++id)
            if (key == kNames[id]) current_ = static_cast<Id>(id);
        if (current_ == kCount && !unknown_) unknown_ = key;
    }
    void Text(std::string& s) {
        if (Field* f = Current()) {
            f->kind = kText;
            f->text.swap(s);  // the parser's buffer is cleared before its next token
        }
    }
    void Number(double d) {
        if (Field* f = Current()) {
            f->kind = kNumber;
            f->number = d;
        }
    }
    // True right after the name of the parameter has been read.
    bool HasJustName() const { return current_ == kName && fields_[kName].kind == kText; }
    const std::string& Name() const { return fields_[kName].text; }
    void Other() {
        if (Field* f = Current()) f->kind = kOther;
    }

    // Checks the entry in the order a reader of the whole value did, and adds the
    // parameter to `setup`.
    void AddTo(CMC_Setup& setup, size_t index, std::vector<std::string>& warnings) const {
        using setup_format::TypeFromName;
        auto where = [&] { return Place("parameters", index); };
        auto at = [&](std::string_view member) { return where() + "." + std::string(member); };
        if (unknown_) throw LoadError{at(*unknown_), "unknown field"};
        const std::string& name = RequiredText(kName, at);
        if (name.empty()) throw LoadError{at("name"), "empty"};
        const std::string& type_name = RequiredText(kType, at);
        const int type = TypeFromName(type_name);
        if (type < 0) throw LoadError{at("type"), "unknown type \"" + type_name + "\""};
        const double value = RequiredNumber(kValue, at);
        const double min = RequiredNumber(kMin, at);
        const double max = RequiredNumber(kMax, at);
        const std::string& unit = OptionalText(kUnit, at);
        const std::string& show = OptionalText(kShow, at);
        CMC_Parameter* param = setup.AddParameter(name, type, unit, show, value, min, max);
        if (!param) throw WhyRefused(setup, index, name, type, unit, show);
        param->RestoreStored(value, min, max);
        if (min > max)
            warnings.push_back(where() + " \"" + name + "\": minimum " + Json(min).dump() +
                               " above maximum " + Json(max).dump());
        else if (value < min || value > max)
            warnings.push_back(where() + " \"" + name + "\": value " + Json(value).dump() +
                               " outside [" + Json(min).dump() + ", " + Json(max).dump() + "]");
    }

  private:
    struct Field {
        Kind kind = kAbsent;
        std::string text;
        double number = 0;
    };
    // Views, so that matching a member name compares lengths first and never counts.
    static constexpr std::string_view kNames[kCount] = {"name", "value", "unit", "show",
                                                        "min",  "max",   "type"};

    Field* Current() { return current_ == kCount ? nullptr : &fields_[current_]; }

    template <class At>
    const std::string& RequiredText(Id id, const At& at) const {
        const Field& f = fields_[id];
        if (f.kind == kAbsent) throw LoadError{at(kNames[id]), "missing"};
        if (f.kind != kText) throw LoadError{at(kNames[id]), "not a text"};
        return f.text;
    }
    template <class At>
    const std::string& OptionalText(Id id, const At& at) const {
        static const std::string kNone;
        const Field& f = fields_[id];
        if (f.kind == kAbsent) return kNone;
        if (f.kind != kText) throw LoadError{at(kNames[id]), "not a text"};
        return f.text;
    }
    template <class At>
    double RequiredNumber(Id id, const At& at) const {
        const Field& f = fields_[id];
        if (f.kind == kAbsent) throw LoadError{at(kNames[id]), "missing"};
        if (f.kind != kNumber) throw LoadError{at(kNames[id]), "not a number"};
        if (!std::isfinite(f.number)) throw LoadError{at(kNames[id]), "not a finite number"};
        return f.number;
    }

    // The setup refused the parameter: say why, checking in the order of the file's
    // rules (a taken name first, then the units).
    static LoadError WhyRefused(const CMC_Setup& setup, size_t index, const std::string& name,
                                int type, const std::string& unit, const std::string& show) {
        const std::string where = Place("parameters", index);
        if (setup.FindParameter(name)) return {where + ".name", "duplicate name \"" + name + "\""};
        const bool option = type == kTypeOption16 || type == kTypeOption32;
        if (option) {
            if (!unit.empty() || !show.empty())
                return {where + ".unit", "an option (drive register) has no unit"};
            return {where, "refused"};
        }
        const CMC_Unit* base = setup.GetUnits()->FindBaseUnit(unit);
        if (!base) {
            const CMC_Unit* any = setup.GetUnits()->FindUnit(unit);
            return {where + ".unit", any ? "\"" + unit + "\" is not a base unit (use \"" +
                                               any->GetUnitType()->GetBaseUnit()->GetName() + "\")"
                                         : "unknown unit \"" + unit + "\""};
        }
        if (!show.empty() && !base->GetUnitType()->FindUnit(show))
            return {where + ".show",
                    "\"" + show + "\" is not a unit of the type of \"" + unit + "\""};
        return {where, "refused"};
    }

    Field fields_[kCount];
    Id current_ = kCount;
    std::optional<std::string> unknown_;
};

// Turns the reader's events into a setup. Depth counts the containers open: 1 inside
// the top object, 2 inside the parameter list, 3 inside one parameter.
class SetupEvents final : public orvex::json::Events {
  public:
    SetupEvents(CMC_Setup& setup, std::vector<std::string>& warnings)
        : setup_(setup), warnings_(warnings) {}

    // The first fault once the whole text has been read.
    std::optional<LoadError> Fault() const {
        if (!top_is_object_) return LoadError{"(top)", "not a JSON object"};
        try {
            const std::string format = Text(head_, "format", "(top)");
            if (format != setup_format::kTag)
                throw LoadError{"format", "\"" + format + "\" is not \"orvex-setup\""};
            const double version = Number(head_, "version", "(top)");
            if (version != setup_format::kVersion)
                throw LoadError{"version",
                                Json(version).dump() + " is not a supported version (1)"};
        } catch (const LoadError& e) {
            return e;
        }
        if (fault_) return fault_;
        if (!has_parameters_) return LoadError{"parameters", "missing"};
        return std::nullopt;
    }

    void Null() override {
        Scalar([&] { builder_.Null(); }, [&] { fields_.Other(); });
    }
    void Boolean(bool b) override {
        Scalar([&] { builder_.Boolean(b); }, [&] { fields_.Other(); });
    }
    void Integer(std::int64_t n) override {
        Scalar([&] { builder_.Integer(n); }, [&] { fields_.Number(static_cast<double>(n)); });
    }
    void Unsigned(std::uint64_t n) override {
        Scalar([&] { builder_.Unsigned(n); }, [&] { fields_.Number(static_cast<double>(n)); });
    }
    void Float(double d) override {
        Scalar([&] { builder_.Float(d); }, [&] { fields_.Number(d); });
    }
    void String(std::string& s) override {
        Scalar([&] { builder_.String(s); },
               [&] {
                   fields_.Text(s);
                   if (fields_.HasJustName()) setup_.ExpectParameter(fields_.Name());
               });
    }
    void StartObject() override { Open(true); }
    void StartArray() override { Open(false); }
    void EndObject() override { Close(true); }
    void EndArray() override { Close(false); }

    void Key(std::string& key) override {
        if (skipping_ > 0) return;
        if (building_) {
            builder_.Key(key);
        } else if (depth_ == 1) {
            member_.swap(key);
            RefuseMisspeltMember();
        } else if (in_parameter_) {
            fields_.Key(key);
        }
    }

  private:
    template <class Build, class Field>
    void Scalar(const Build& build, const Field& field) {
        if (skipping_ > 0) return;
        if (building_) {
            build();
            Built();
        } else if (depth_ == 0) {
            top_is_object_ = false;
        } else if (depth_ == 1) {
            if (member_ == "parameters") {
                has_parameters_ = true;
                Fail({"parameters", "not an array"});
            } else if (StartMember()) {
                build();
                Built();
            }
        } else if (in_parameter_) {
            field();
        } else {  // an entry of the parameter list that is not an object
            Fail({Place("parameters", index_++), "not an object"});
        }
    }
    void Open(bool object) {
        if (skipping_ > 0) {
            ++skipping_;
        } else if (building_) {
            object ? builder_.StartObject() : builder_.StartArray();
        } else if (depth_ == 0) {
            top_is_object_ = object;
            if (object)
                depth_ = 1;
            else
                skipping_ = 1;
        } else if (depth_ == 1 && member_ == "parameters") {
            has_parameters_ = true;
            if (object) Fail({"parameters", "not an array"});
            if (object || fault_) {
                skipping_ = 1;
            } else {
                depth_ = 2;
                index_ = 0;
            }
        } else if (depth_ == 1) {
            if (StartMember())
                object ? builder_.StartObject() : builder_.StartArray();
            else
                skipping_ = 1;
        } else if (depth_ == 2 && object && !fault_) {
            depth_ = 3;
            in_parameter_ = true;
            fields_.Clear();
        } else if (depth_ == 2) {
            if (!object) Fail({Place("parameters", index_), "not an object"});
            ++index_;
            skipping_ = 1;
        } else {  // a member of a parameter holding an object or an array
            fields_.Other();
            skipping_ = 1;
        }
    }

    void Close(bool object) {
        if (skipping_ > 0) {
            --skipping_;
        } else if (building_) {
            object ? builder_.EndObject() : builder_.EndArray();
            Built();
        } else if (depth_ == 3) {
            try {
                fields_.AddTo(setup_, index_, warnings_);
            } catch (const LoadError& e) {
                Fail(e);
            }
            ++index_;
            in_parameter_ = false;
            depth_ = 2;
        } else {
            --depth_;
        }
    }

    // The top object's own members are written as they are. One in other letters
    // ("Settings") would be kept as a member of a later format, saved beside the real
    // one, and the saved file would then hold the name twice: it is refused instead.
    void RefuseMisspeltMember() {
        static constexpr const char* kMembers[] = {"format",   "version",      "drive",
                                                   "settings", "brakeOutputs", "parameters",
                                                   "variables"};
        for (const char* known : kMembers)
            if (member_ != known && NamesEqual(member_, known))
                Fail({member_, std::string("unknown member; the member is written \"") + known +
                                   "\""});
    }

    // A value of the top object other than the parameter list begins: it is built
    // whole, or skipped (false) once a fault has been found.
    bool StartMember() {
        // The format and version are checked before any fault found after them.
        if (fault_ && member_ != "format" && member_ != "version") return false;
        builder_.Reset();
        building_ = true;
        return true;
    }

    // Called after each event given to the builder: once the member's value is whole,
    // it is taken into the setup.
    void Built() {
        if (!builder_.Done()) return;
        building_ = false;
        Json& value = builder_.Result();
        if (member_ == "format" || member_ == "version") {
            head_[member_] = std::move(value);
            return;
        }
        try {
            if (member_ == "drive")
                LoadDrive(value, setup_);
            else if (member_ == "settings")
                LoadSettings(value, setup_);
            else if (member_ == "brakeOutputs")
                LoadBrakeOutputs(value, setup_);
            else if (member_ == "variables")
                LoadVariables(value, setup_);
            else
                setup_.ExtraFileMembers()[member_] = value.dump();
        } catch (const LoadError& e) {
            Fail(e);
        } catch (const Json::exception& e) {
            Fail({"", e.what()});
        }
    }

    void Fail(LoadError error) {
        if (!fault_) fault_ = std::move(error);
    }

    CMC_Setup& setup_;
    std::vector<std::string>& warnings_;
    orvex::json::ValueBuilder builder_;
    ParameterFields fields_;
    Json head_ = Json::object();  // the format and the version, checked last
    std::string member_;          // the member of the top object being read
    std::optional<LoadError> fault_;
    int depth_ = 0;
    int skipping_ = 0;  // containers open inside a value that is passed over
    size_t index_ = 0;  // of the next entry of the parameter list
    bool building_ = false;
    bool in_parameter_ = false;
    bool top_is_object_ = true;
    bool has_parameters_ = false;
};

}  // namespace

namespace {

// Names of a setup are one name in any letter case, in the file as in the model; a
// setup is a few levels deep, so anything much deeper is refused unread.
constexpr orvex::json::ReadRules kSetupRules{.max_depth = kMaxSetupDepth, .fold_case = true};

// Reads a setup through `read`, which hands the events of a text or a file to the
// reader and returns the fault in the text (empty: none).
template <class Read>
SetupLoadResult ReadSetup(const std::string& origin, const Read& read) {
    SetupLoadResult result;
    auto setup = std::make_unique<CMC_Setup>();
    ScopedSilentLookup silent;  // the loader's own duplicate checks are not errors to report
    SetupEvents events(*setup, result.warnings);
    const std::string error = read(events);
    std::optional<LoadError> fault;
    if (error.empty()) fault = events.Fault();
    if (!error.empty() || fault) {
        result.error = origin + ": " +
                       (!error.empty()         ? error
                        : fault->where.empty() ? fault->what
                                               : fault->where + ": " + fault->what);
        result.warnings.clear();
        return result;
    }
    for (auto& w : result.warnings) w = origin + ": " + w;
    result.setup = std::move(setup);
    return result;
}

}  // namespace

SetupLoadResult ParseSetup(const std::string& text, const std::string& origin) {
    return ReadSetup(origin, [&](SetupEvents& events) {
        return orvex::json::ReadEvents(text, kSetupRules, events);
    });
}

SetupLoadResult LoadSetupFile(const std::string& path) {
    // Read a piece at a time: a setup of a million parameters never sits in memory
    // twice, once as text and once as parameters.
    std::string reason;
    bool readable = true;
    SetupLoadResult result = ReadSetup(path, [&](SetupEvents& events) {
        std::string fault;
        readable = orvex::json::ReadFileEvents(path, kSetupRules, events, reason, fault);
        return fault;
    });
    if (!readable) {
        result = SetupLoadResult();
        result.error = path + ": cannot be opened: " + reason;
    }
    return result;
}

}  // namespace axis
