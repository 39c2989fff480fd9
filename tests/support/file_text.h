#pragma once
// A file's bytes as a string ("" when it cannot be read), for comparing saved files.
#include <fstream>
#include <sstream>
#include <string>

namespace orvex_test {

inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace orvex_test
