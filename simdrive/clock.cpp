#include "simdrive/clock.h"

namespace orvex::sim {

RealTimeClock::RealTimeClock(double speed_factor)
    : start_(std::chrono::steady_clock::now()),
      speed_factor_(speed_factor > 0.0 ? speed_factor : 1.0) {}

double RealTimeClock::Now_s() const {
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    return elapsed.count() * speed_factor_;
}

}  // namespace orvex::sim
