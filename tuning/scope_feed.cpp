#include "tuning/scope_feed.h"

#include "host/drive/comm.h"
#include "host/drive/scope_logger.h"
#include "host/plot/graph_window.h"

namespace orvex::tuning {

ScopeFeed::ScopeFeed(CMC_ScopeLogger& scope, CGraphWindow& graph) : scope_(scope), graph_(graph) {
    handler_id_ = CMC_Comm::RegisterReceiveUnsolicitedMsgHandler(
        [this](const std::uint16_t* words, std::size_t count) { return OnMessage(words, count); });
}

ScopeFeed::~ScopeFeed() {
    CMC_Comm::UnregisterReceiveUnsolicitedMsgHandler(handler_id_);
}

int ScopeFeed::OnMessage(const std::uint16_t* words, std::size_t count) {
    if (!words || count < 3 || words[2] != CMC_ScopeLogger::kFrameTag)
        return CMC_ScopeLogger::kFrameTag;
    const int taken = scope_.OnScopeMessage(words, count);
    if (taken < 1) return taken;
    frame_received_ = true;
    unsigned first = 0, points = 0;
    scope_.GetPointsToBeDrawn(first, points);
    const unsigned ring = scope_.GetPointsNo();
    for (unsigned k = 0; k < points && ring > 0; ++k) {
        const unsigned index = (first + k) % ring;
        graph_.UpdatePoint(index);
        ++points_drawn_;
        if (index == 0) {
            graph_.RedrawNow();
            ++repaints_;
        }
    }
    return 0;
}

}  // namespace orvex::tuning
