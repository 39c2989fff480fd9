#include "app/compute_report.h"

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/setup/setup.h"

namespace axishost {

namespace {
// JSON has no NaN or infinity: a value the arithmetic could not give shows as null.
nlohmann::ordered_json Number(double v) {
    return std::isfinite(v) ? nlohmann::ordered_json(v) : nlohmann::ordered_json(nullptr);
}
}  // namespace

std::string ComputeReport(const CMC_Setup& setup) {
    static const char* const kTypes[] = {"real", "integer",  "switch",  "choice",
                                         "text", "option16", "option32"};
    nlohmann::ordered_json params = nlohmann::ordered_json::array();
    const CMC_Parameters list = setup.GetParameters();
    for (int i = 0; i < list.GetParametersCount(); ++i) {
        const CMC_Parameter* p = list[i];
        nlohmann::ordered_json row;
        row["name"] = p->GetName();
        row["value"] = Number(p->GetValueInBaseUnit());
        row["internal"] = Number(p->GetValueInInternalUnit());
        row["min"] = Number(p->GetMinInBaseUnit());
        row["max"] = Number(p->GetMaxInBaseUnit());
        row["unit"] = p->GetBaseUnitName();
        row["show"] = p->GetUnitName();
        row["shown"] = Number(p->GetValue());
        row["type"] = kTypes[p->GetType()];
        params.push_back(std::move(row));
    }
    nlohmann::ordered_json settings = nlohmann::ordered_json::object();
    for (const auto& [name, text] : setup.GetOptions()) settings[name] = text;
    nlohmann::ordered_json report;
    report["format"] = kComputeReportFormat;
    report["version"] = 1;
    report["parameters"] = std::move(params);
    report["settings"] = std::move(settings);
    return report.dump(1) + "\n";
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    std::error_code ec_a, ec_b;
    const auto ca = std::filesystem::weakly_canonical(a, ec_a);
    const auto cb = std::filesystem::weakly_canonical(b, ec_b);
    return !ec_a && !ec_b && ca == cb;
}

namespace {
bool IsComputeReport(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    const auto doc = nlohmann::json::parse(text.str(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return false;
    const auto format = doc.find("format");
    return format != doc.end() && format->is_string() &&
           format->get<std::string>() == kComputeReportFormat;
}
}  // namespace

std::string ReportTargetConflict(const std::string& out, const std::string& setup_file) {
    if (SameFile(out, setup_file))
        return out + " is the setup file being read; the report would replace it";
    struct stat st {};
    if (::lstat(out.c_str(), &st) != 0) return {};
    if (S_ISREG(st.st_mode) && !IsComputeReport(out))
        return out + " exists and is not a report of axishost compute";
    return {};
}

}  // namespace axishost
