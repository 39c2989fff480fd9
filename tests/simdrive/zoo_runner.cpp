#include "zoo_runner.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace orvex::sim::zoo {
namespace {

std::string& ChosenFolder() {
    static std::string folder = FolderPath("zoo");
    return folder;
}

}  // namespace

std::string FolderPath(const std::string& folder) {
    std::string path = folder.find('/') == std::string::npos
                           ? std::string(ORVEX_RESOURCE_DIR) + "/sim/" + folder
                           : folder;
    if (!path.ends_with('/')) path += '/';
    return path;
}

std::vector<std::string> Motors(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(FolderPath(folder), error)) {
        const std::string file = entry.path().filename().string();
        if (file.size() > 5 && file.ends_with(".json") && !file.ends_with(".setup.json"))
            names.push_back(file.substr(0, file.size() - 5));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void UseFolder(const std::string& folder) {
    ChosenFolder() = FolderPath(folder);
}

std::string ZooDir() {
    return ChosenFolder();
}

std::vector<std::string> Motors() {
    return Motors(ChosenFolder());
}

Scenario LoadMotor(const std::string& motor, const std::function<void(Scenario&)>& edit) {
    std::string error;
    auto scenario = LoadScenarioFile(ZooDir() + motor + ".json", error);
    if (!scenario) throw std::runtime_error(error);
    if (edit) edit(*scenario);
    return *scenario;
}

}  // namespace orvex::sim::zoo
