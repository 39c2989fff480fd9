#include "zoo_runner.h"

#include <algorithm>
#include <filesystem>

namespace orvex::sim::zoo {

std::string ZooDir() {
    return std::string(ORVEX_RESOURCE_DIR) + "/sim/zoo/";
}

std::vector<std::string> Motors() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(ZooDir())) {
        const std::string file = entry.path().filename().string();
        if (file.size() > 5 && file.ends_with(".json") && !file.ends_with(".setup.json"))
            names.push_back(file.substr(0, file.size() - 5));
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace orvex::sim::zoo
