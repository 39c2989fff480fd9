#pragma once
// What the setup file reader and writer agree on: the format tag, its version and the
// names of the value types in files.

#include <string_view>

namespace axis::setup_format {

inline constexpr const char* kTag = "orvex-setup";
inline constexpr int kVersion = 1;

/// Indexed by the value type (`GetType`).
inline constexpr const char* kTypeNames[] = {"real", "integer",  "switch",  "choice",
                                             "text", "option16", "option32"};

/// The value type named `name` in a file, -1 when none.
inline int TypeFromName(std::string_view name) {
    for (int i = 0; i < 7; ++i)
        if (name == kTypeNames[i]) return i;
    return -1;
}

}  // namespace axis::setup_format
