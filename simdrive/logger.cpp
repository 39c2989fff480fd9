#include "simdrive/logger.h"

#include <algorithm>
#include <cmath>

namespace orvex::sim {

void LoggerBuffer::Configure(const drive::LoggerSettings& settings,
                             std::vector<const double*> sources) {
    settings_ = settings;
    settings_.divider = std::max(1, settings_.divider);
    sources_ = std::move(sources);
    Arm();
}

void LoggerBuffer::Arm() {
    points_.clear();
    started_ = false;
    closed_ = false;
    offered_ = 0;
}

void LoggerBuffer::Start(double now_s) {
    if (started_ || !configured()) return;
    started_ = true;
    start_s_ = now_s;
    points_.reserve(static_cast<std::size_t>(settings_.points));
}

void LoggerBuffer::Offer(int log_type, double now_s) {
    if (log_type != settings_.log_type || !recording()) return;
    if (offered_++ % settings_.divider != 0) return;
    if (points_.empty()) start_s_ = now_s;  // time 0 is the first point
    drive::LogPoint point;
    point.reserve(sources_.size() + 1);
    point.push_back(now_s - start_s_);
    for (const double* source : sources_) point.push_back(*source);
    points_.push_back(std::move(point));
}

void ScopeStreamer::Configure(std::vector<const double*> sources, int divider,
                              double sample_period_s) {
    sources_ = std::move(sources);
    divider_ = std::max(1, divider);
    sample_period_s_ = sample_period_s * divider_;
    // About one frame per millisecond.
    points_per_frame_ = std::max(1, static_cast<int>(std::lround(1e-3 / sample_period_s_)));
    offered_ = 0;
    next_sample_index_ = 0;
    frame_first_ = 0;
    pending_.clear();
}

void ScopeStreamer::Offer(std::deque<drive::UnsolicitedMessage>& out) {
    if (sources_.empty()) return;
    if (offered_++ % divider_ != 0) return;
    if (pending_.empty()) frame_first_ = next_sample_index_;
    for (const double* source : sources_) {
        const double v = std::clamp(std::nearbyint(*source), -2147483648.0, 2147483647.0);
        pending_.push_back(static_cast<std::int32_t>(v));
    }
    ++next_sample_index_;
    if (pending_.size() >= sources_.size() * static_cast<std::size_t>(points_per_frame_))
        Flush(out);
}

void ScopeStreamer::Flush(std::deque<drive::UnsolicitedMessage>& out) {
    const std::size_t count = sources_.size();
    const std::size_t points = pending_.size() / count;
    drive::UnsolicitedMessage frame;
    frame.reserve(9 + 2 * pending_.size());
    const std::uint32_t period_us = static_cast<std::uint32_t>(std::lround(sample_period_s_ * 1e6));
    frame.push_back(0);  // length, filled below
    frame.push_back(sequence_++);
    frame.push_back(0xE900);
    frame.push_back(static_cast<std::uint16_t>(count));
    frame.push_back(static_cast<std::uint16_t>(points));
    frame.push_back(static_cast<std::uint16_t>(frame_first_ & 0xFFFF));
    frame.push_back(static_cast<std::uint16_t>(frame_first_ >> 16));
    frame.push_back(static_cast<std::uint16_t>(period_us & 0xFFFF));
    frame.push_back(static_cast<std::uint16_t>(period_us >> 16));
    for (std::int32_t v : pending_) {
        const std::uint32_t u = static_cast<std::uint32_t>(v);
        frame.push_back(static_cast<std::uint16_t>(u & 0xFFFF));
        frame.push_back(static_cast<std::uint16_t>(u >> 16));
    }
    frame[0] = static_cast<std::uint16_t>(frame.size() - 3);
    out.push_back(std::move(frame));
    pending_.clear();
    // A host that never polls must not make the drive's memory grow without end.
    while (out.size() > 4096) out.pop_front();
}

}  // namespace orvex::sim
