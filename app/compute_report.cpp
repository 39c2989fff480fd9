#include "app/compute_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

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
    report["parameters"] = std::move(params);
    report["settings"] = std::move(settings);
    return report.dump(1) + "\n";
}

}  // namespace axishost
