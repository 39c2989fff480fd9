#pragma once
// Where the simulated drive gets "now" from. The drive computes lazily up to its
// clock's present time whenever it is touched, so the clock alone decides how fast
// simulated time runs: in step with the wall clock for the application, or only
// when a test advances it.

#include <chrono>

namespace orvex::sim {

class Clock {
  public:
    virtual ~Clock() = default;
    /// Simulated time in seconds since the clock started.
    virtual double Now_s() const = 0;
};

/// A clock that moves only when told to: tests and simrun use it, so results do
/// not depend on the machine's speed.
class ManualClock : public Clock {
  public:
    double Now_s() const override { return now_s_; }
    /// Moves time forward; a negative step is ignored (time never runs back).
    void Advance(double step_s) {
        if (step_s > 0.0) now_s_ += step_s;
    }

  private:
    double now_s_ = 0.0;
};

/// Wall-clock time times a speed factor (1 = real time).
class RealTimeClock : public Clock {
  public:
    explicit RealTimeClock(double speed_factor = 1.0);
    double Now_s() const override;

  private:
    std::chrono::steady_clock::time_point start_;
    double speed_factor_;
};

}  // namespace orvex::sim
