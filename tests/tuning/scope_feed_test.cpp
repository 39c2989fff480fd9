// Scope frames from the simulated drive into a scope graph through the tuning
// dialogs' frame handler: every point drawn once, a repaint at each wrap, malformed
// and foreign messages left alone.
#include "tuning/scope_feed.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/drive/scope_logger.h"
#include "host/plot/graph_document.h"
#include "host/plot/graph_window.h"
#include "tests/drive/drive_fixture.h"

namespace {

using drive_test::SimBench;

TEST(ScopeFeed, DrawsEveryStreamedPointAndRepaintsAtEachWrap) {
    SimBench bench;
    CMC_ScopeLogger scope(bench.setup.get(), nullptr);
    scope.AddVariable("AD5");
    scope.AddVariable("MER");
    ASSERT_EQ(scope.ChangeSettings(0.050, 1, 1, nullptr, 0, 0), 1);
    scope.GetGraphDocument().GetAt(0)->Add(CXYCurve(0, 1, 1, 2));
    CGraphWindow graph;
    graph.SubclassDlgItem(nullptr, scope.GetGraphDocument().GetAt(0));
    orvex::tuning::ScopeFeed feed(scope, graph);
    ASSERT_EQ(scope.BeginUploadData(), 1) << scope.GetErrorText();
    for (int ms = 0; ms < 240; ++ms) {
        bench.Run(1e-3);
        feed.ClearFrameReceived();
        CMC_Comm::CheckForUnrequestedMessages();
        if (ms > 2) {
            EXPECT_TRUE(feed.FrameReceived()) << ms;  // a frame every millisecond
        }
    }
    const unsigned ring = scope.GetPointsNo();
    const double period_s = bench.drive.core().fast_period_s();
    const unsigned long streamed = feed.PointsDrawn();
    EXPECT_NEAR(static_cast<double>(streamed), 0.240 / period_s, 0.02 / period_s);
    EXPECT_EQ(feed.Repaints(), (streamed + ring - 1) / ring);  // each time index 0 is drawn
    EXPECT_EQ(scope.GetDroppedFrames(), 0u);
    EXPECT_EQ(scope.GetLostFrames(), 0u);
    EXPECT_EQ(graph.CurveY(0).size(), ring);
    scope.EndUploadData();
}

TEST(ScopeFeed, LeavesForeignMessagesAndRefusesMalformedFrames) {
    SimBench bench;
    CMC_ScopeLogger scope(bench.setup.get(), nullptr);
    scope.AddVariable("AD5");
    CGraphWindow graph;
    orvex::tuning::ScopeFeed feed(scope, graph);
    const std::vector<std::uint16_t> foreign = {0, 1, 0x1234};
    EXPECT_EQ(feed.OnMessage(foreign.data(), foreign.size()), 0xE900);
    EXPECT_EQ(feed.OnMessage(foreign.data(), 2), 0xE900);  // too short to carry a tag
    const std::vector<std::uint16_t> frame = {40, 1, 0xE900, 1, 1, 0, 0, 50, 0, 7, 0};
    EXPECT_EQ(feed.OnMessage(frame.data(), frame.size()), -1);  // not streaming
    ASSERT_EQ(scope.BeginUploadData(), 1);
    EXPECT_EQ(feed.OnMessage(frame.data(), frame.size()), 0);  // word 0 says 40 words
    EXPECT_FALSE(feed.FrameReceived());
    EXPECT_EQ(scope.GetDroppedFrames(), 1u);
    auto good = frame;
    good[0] = static_cast<std::uint16_t>(good.size() - 3);
    EXPECT_EQ(feed.OnMessage(good.data(), good.size()), 0);
    EXPECT_TRUE(feed.FrameReceived());
    EXPECT_EQ(feed.PointsDrawn(), 1u);
    scope.EndUploadData();
}

}  // namespace
