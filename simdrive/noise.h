#pragma once
// Seeded, portable noise: the same seed gives the same sequence on every machine
// and standard library (std::normal_distribution does not promise that).

#include <cmath>
#include <cstdint>

namespace orvex::sim {

class GaussianNoise {
public:
    explicit GaussianNoise(std::uint64_t seed) : state_(seed ^ 0x9E3779B97F4A7C15ULL) {}

    /// A standard normal sample (Box-Muller, two per uniform pair).
    double Next() {
        if (has_spare_) {
            has_spare_ = false;
            return spare_;
        }
        const double u1 = (static_cast<double>(NextBits() >> 11) + 1.0) * 0x1.0p-53;  // (0, 1]
        const double u2 = static_cast<double>(NextBits() >> 11) * 0x1.0p-53;          // [0, 1)
        const double r = std::sqrt(-2.0 * std::log(u1));
        const double a = 6.283185307179586 * u2;
        spare_ = r * std::sin(a);
        has_spare_ = true;
        return r * std::cos(a);
    }

private:
    // splitmix64: small, fast, and good enough for measurement noise.
    std::uint64_t NextBits() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    std::uint64_t state_;
    double spare_ = 0.0;
    bool has_spare_ = false;
};

}  // namespace orvex::sim
