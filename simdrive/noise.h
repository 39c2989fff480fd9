#pragma once
// Seeded, portable noise: the same seed gives the same sequence on every machine
// and standard library (std::normal_distribution does not promise that).

#include <cmath>
#include <cstdint>

namespace orvex::sim {

class GaussianNoise {
  public:
    explicit GaussianNoise(std::uint64_t seed) : state_(seed ^ 0x9E3779B97F4A7C15ULL) {}

    /// A standard normal sample (Marsaglia's polar method: two per accepted
    /// pair, no trigonometry).
    double Next() {
        if (has_spare_) {
            has_spare_ = false;
            return spare_;
        }
        double u, v, s;
        do {
            u = 2.0 * Uniform() - 1.0;
            v = 2.0 * Uniform() - 1.0;
            s = u * u + v * v;
        } while (s >= 1.0 || s == 0.0);
        const double f = std::sqrt(-2.0 * std::log(s) / s);
        spare_ = v * f;
        has_spare_ = true;
        return u * f;
    }

  private:
    double Uniform() { return static_cast<double>(NextBits() >> 11) * 0x1.0p-53; }  // [0, 1)

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
