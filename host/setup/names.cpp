#include "host/setup/names.h"

#include <cstdint>
#include <random>

namespace axis {

namespace {
char FoldChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

std::uint64_t FoldedNameHash(std::string_view name) {
    // FNV-1a over the folded bytes from a per-process start, then a final mix (the
    // 64-bit finaliser of MurmurHash3) so that the top bits, which place a name in an
    // index, depend on every byte.
    static const std::uint64_t seed = std::random_device{}() * 0x9E3779B97F4A7C15ull;
    std::uint64_t hash = 14695981039346656037ull ^ seed;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(FoldChar(c));
        hash *= 1099511628211ull;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53ull;
    hash ^= hash >> 33;
    return hash;
}

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

}  // namespace axis
