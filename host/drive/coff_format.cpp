#include "host/drive/coff_format.h"

#include <QFile>

#include "host/setup/names.h"
#include "util/json/json_reader.h"

namespace axis {
namespace {
std::string& ProgramDirectoryStorage() {
    static std::string directory = ":/orvex/programs";
    return directory;
}
}  // namespace

const std::string& ProgramDirectory() {
    return ProgramDirectoryStorage();
}
void SetProgramDirectory(const std::string& directory) {
    ProgramDirectoryStorage() = directory;
}

std::string ProgramPath(std::string_view name) {
    if (name.empty() || name.size() > 128) return {};
    for (char c : name) {
        const bool plain =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
        if (!plain) return {};
    }
    return ProgramDirectory() + "/" + std::string(name) + ".json";
}

}  // namespace axis

namespace {
// The member `key` when it is a string, else `fallback` (never throws).
std::string StringMember(const orvex::json::Value& object, const char* key,
                         const std::string& fallback = {}) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : fallback;
}
}  // namespace

bool CMC_CoffFormat::Fail(std::string text) {
    loaded_ = false;
    program_.clear();
    description_.clear();
    variables_.clear();
    error_ = std::move(text);
    return false;
}

int CMC_CoffFormat::ReadCoff() {
    if (file_name_.empty()) return Fail("No program file given.");
    QFile file(QString::fromStdString(file_name_));
    if (!file.open(QIODevice::ReadOnly))
        return Fail("The program file \"" + file_name_ + "\" cannot be opened (" +
                    file.errorString().toStdString() + ").");
    const QByteArray bytes = file.readAll();
    return ReadCoffText(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

int CMC_CoffFormat::ReadCoffText(std::string_view text) {
    const std::string where = "The program file \"" + file_name_ + "\"";
    // A descriptor is three levels deep; the limit keeps a damaged file from costing more.
    orvex::json::Document parsed = orvex::json::Parse(text, {.max_depth = 8});
    if (!parsed.ok()) return Fail(where + " is not valid JSON (" + parsed.error + ").");
    const orvex::json::Value& doc = parsed.value;
    if (!doc.is_object()) return Fail(where + " is not a JSON object.");
    if (StringMember(doc, "format") != "orvex-program")
        return Fail(where + " is not a program descriptor.");
    if (!doc.contains("version") || !doc["version"].is_number_integer() ||
        doc["version"].get<int>() != 1)
        return Fail(where + " has an unsupported version.");
    const std::string program = StringMember(doc, "program");
    if (program.empty()) return Fail(where + " names no program.");
    if (axis::ProgramPath(program).empty())
        return Fail(where + " names an invalid program \"" + program + "\".");
    if (!doc.contains("variables") || !doc["variables"].is_array())
        return Fail(where + " lists no variables.");

    std::vector<Variable> variables;
    const auto& list = doc["variables"];
    for (size_t i = 0; i < list.size(); ++i) {
        const auto& v = list[i];
        const std::string at = where + ", variables[" + std::to_string(i) + "]";
        if (!v.is_object() || StringMember(v, "name").empty()) return Fail(at + ": no name.");
        Variable var{StringMember(v, "name"), StringMember(v, "role", "inout")};
        if (var.role != "status" && var.role != "input" && var.role != "result" &&
            var.role != "inout")
            return Fail(at + ": unknown role \"" + var.role + "\".");
        for (const auto& seen : variables)
            if (axis::NamesEqual(seen.name, var.name))
                return Fail(at + ": \"" + var.name + "\" is listed twice.");
        variables.push_back(std::move(var));
    }
    // Every program reports through STARTED that it runs; the completion rule of the
    // tests depends on it.
    bool has_started = false;
    for (const auto& v : variables)
        has_started = has_started || axis::NamesEqual(v.name, "STARTED");
    if (!has_started) return Fail(where + " does not list \"STARTED\".");

    program_ = program;
    description_ = StringMember(doc, "description");
    variables_ = std::move(variables);
    error_.clear();
    loaded_ = true;
    return 1;
}

const CMC_CoffFormat::Variable* CMC_CoffFormat::FindVariable(std::string_view name) const {
    for (const auto& v : variables_)
        if (axis::NamesEqual(v.name, name)) return &v;
    return nullptr;
}
