#include "host/plot/resolution.h"

#include <cstdlib>

CResolution::CResolution()
    // Line counts offered by the common encoder makers: decimal series and powers
    // of two, 100 to 10000 lines per revolution.
    : lines_{100,  200,  250,  256,  360,  400,  500,  512,  1000, 1024,
             1250, 2000, 2048, 2500, 4000, 4096, 5000, 8192, 10000} {}

int CResolution::GetResolution(int index) const {
    return index >= 0 && index < GetCount() ? lines_[static_cast<size_t>(index)] : 0;
}

int CResolution::FindBestResolution(int lines) const {
    // In 64 bits: the magnitude of INT_MIN does not fit an int.
    const long long magnitude = std::llabs(static_cast<long long>(lines));
    int best = lines_.front();
    long long best_distance = std::llabs(magnitude - best);
    for (int candidate : lines_) {
        const long long distance = std::llabs(magnitude - candidate);
        if (distance < best_distance) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}
