#pragma once
// The drive's logger buffer: records chosen variables once per slow-loop sample
// (log type 1) or fast-loop sample (log type 2), one sample out of `divider`,
// until it holds `points` points. The scope streams the same way, as frames.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/link/drive_link.h"

namespace orvex::sim {

/// What the logger buffer holds, in values (points x logged variables): like a real
/// drive's fixed RAM buffer, and large enough for any logger the host sets up
/// (its default is 16384 values). Settings beyond it are refused, not cut.
inline constexpr long long kLoggerCapacityValues = 1LL << 20;

class LoggerBuffer {
  public:
    /// Takes new settings and empties the buffer. `sources` point at the values of
    /// the variables, in the order of settings.variables.
    void Configure(const drive::LoggerSettings& settings, std::vector<const double*> sources);
    bool configured() const { return !sources_.empty() && settings_.points > 0; }
    /// Empties the buffer and waits for Start.
    void Arm();
    void Start(double now_s);
    /// Offers one sample of the loop `log_type` (1 slow, 2 fast).
    void Offer(int log_type, double now_s);
    /// Ends recording (the program ended); what was taken stays.
    void Close() { closed_ = true; }
    bool recording() const { return started_ && !full() && !closed_; }
    bool full() const { return static_cast<int>(points_.size()) >= settings_.points; }
    bool complete() const { return full() || closed_; }
    bool started() const { return started_; }
    const std::vector<drive::LogPoint>& points() const { return points_; }
    const drive::LoggerSettings& settings() const { return settings_; }

  private:
    drive::LoggerSettings settings_;
    std::vector<const double*> sources_;
    std::vector<drive::LogPoint> points_;
    bool started_ = false;
    bool closed_ = false;
    double start_s_ = 0;
    std::int64_t offered_ = 0;
};

/// Streams variables as unsolicited frames of 16-bit words:
///   word 0  payload length in words
///   word 1  sequence number (wraps at 65536)
///   word 2  0xE900, the scope frame tag
///   payload word 0     number of variables V
///   payload word 1     number of points P in this frame
///   payload words 2-3  index of the frame's first sample since streaming began
///                      (32 bits, low word first)
///   payload words 4-5  sampling period in microseconds (32 bits, low word first)
///   then P points of V values, each a signed 32-bit integer, low word first.
class ScopeStreamer {
  public:
    void Configure(std::vector<const double*> sources, int divider, double sample_period_s);
    bool active() const { return !sources_.empty(); }
    /// Offers one fast-loop sample; a frame is emitted about every millisecond.
    void Offer(std::deque<drive::UnsolicitedMessage>& out);

  private:
    void Flush(std::deque<drive::UnsolicitedMessage>& out);

    std::vector<const double*> sources_;
    int divider_ = 1;
    int points_per_frame_ = 1;
    double sample_period_s_ = 0;
    std::int64_t offered_ = 0;
    std::uint32_t next_sample_index_ = 0;
    std::uint32_t frame_first_ = 0;
    std::uint16_t sequence_ = 0;
    std::vector<std::int32_t> pending_;
};

}  // namespace orvex::sim
