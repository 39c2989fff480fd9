#pragma once
// The path of the drive scope's frames into a tuning dialog's scope graph: the frame
// handler that the communication layer calls for every unsolicited message while it
// is installed. It takes scope frames (tag 0xE900) into the scope logger, which checks
// every length, and draws only the points each frame added; the whole graph is
// repainted at once whenever the capture's ring index wraps to 0.

#include <cstddef>
#include <cstdint>

class CGraphWindow;
class CMC_ScopeLogger;

namespace orvex::tuning {

class ScopeFeed {
  public:
    /// Installs the handler (asked after those installed before it); `scope` and
    /// `graph` must outlive the feed.
    ScopeFeed(CMC_ScopeLogger& scope, CGraphWindow& graph);
    /// Removes the handler.
    ~ScopeFeed();
    ScopeFeed(const ScopeFeed&) = delete;
    ScopeFeed& operator=(const ScopeFeed&) = delete;

    /// The handler: 0xE900 for a message that is not a scope frame (another handler's
    /// business); the scope logger's result when it took no point (0 malformed, -1 not
    /// streaming); else 0, the points drawn.
    int OnMessage(const std::uint16_t* words, std::size_t count);

    /// Set when a frame brought points; the scope loop clears it at each pass.
    bool FrameReceived() const { return frame_received_; }
    void ClearFrameReceived() { frame_received_ = false; }
    /// Points drawn and whole-graph repaints since the feed was installed.
    unsigned long PointsDrawn() const { return points_drawn_; }
    unsigned long Repaints() const { return repaints_; }

  private:
    CMC_ScopeLogger& scope_;
    CGraphWindow& graph_;
    int handler_id_ = 0;
    bool frame_received_ = false;
    unsigned long points_drawn_ = 0;
    unsigned long repaints_ = 0;
};

}  // namespace orvex::tuning
