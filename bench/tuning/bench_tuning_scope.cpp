// The drive scope of the tuning dialogs at real-time speed: the simulated drive on
// the wall clock streams the four speed-tuning channels (a frame about every
// millisecond), the dialogs' frame handler takes every frame into the scope logger
// and draws the new points into the scope graph. Reported per wall-clock second:
// frames delivered and drawn, points drawn, plot redraws, and the frames dropped as
// malformed or lost in the sequence (both must be 0).
//
// Run: QT_QPA_PLATFORM=offscreen build/bin/bench_tuning_scope

#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "host/drive/comm.h"
#include "host/drive/scope_logger.h"
#include "host/plot/graph_document.h"
#include "host/plot/graph_window.h"
#include "host/setup/setup_file.h"
#include "simdrive/clock.h"
#include "simdrive/scenario.h"
#include "simdrive/simulated_drive.h"
#include "tuning/scope_feed.h"

namespace {

constexpr const char* kSetup = R"({"format":"orvex-setup","version":1,"parameters":[],
  "variables":[{"name":"Speed_Reference"},{"name":"Load_Speed"},
               {"name":"Current_Reference"},{"name":"Motor_Current"}]})";

void BM_ScopeAtRealTime(benchmark::State& state) {
    const double run_s = 3.0;
    orvex::sim::RealTimeClock clock(1.0);
    orvex::sim::SimulatedDrive drive(orvex::sim::Scenario{}, clock);
    CMC_Comm comm(drive);
    auto setup = axis::ParseSetup(kSetup).setup;
    comm.Attach(setup.get());
    CMC_ScopeLogger scope(setup.get(), nullptr);
    for (const char* v : {"Speed_Reference", "Load_Speed", "Current_Reference", "Motor_Current"})
        scope.AddVariable(v);
    scope.ChangeSettings(0.5, 1, 1, nullptr, 0, 0);  // a half-second window, as a profile
    CGraphFilter* filter = scope.GetGraphDocument().GetAt(0);
    const int colours[] = {2, 5, 8, 9};
    for (int item = 1; item <= 4; ++item) filter->Add(CXYCurve(0, item, 1, colours[item - 1]));
    CGraphWindow graph;
    graph.resize(800, 400);
    graph.show();
    graph.SubclassDlgItem(nullptr, filter);
    unsigned long redraws = 0;
    QObject::connect(graph.Plot(), &QCustomPlot::afterReplot, [&redraws] { ++redraws; });
    orvex::tuning::ScopeFeed feed(scope, graph);
    if (!scope.BeginUploadData()) {
        state.SkipWithError(scope.GetErrorText().c_str());
        return;
    }
    unsigned long frames = 0;
    double elapsed_s = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        do {
            frames += static_cast<unsigned long>(CMC_Comm::CheckForUnrequestedMessages());
            QCoreApplication::processEvents();
            elapsed_s =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } while (elapsed_s < run_s);
    }
    scope.EndUploadData();
    state.counters["frames_per_s"] = frames / elapsed_s;
    state.counters["points_per_s"] = feed.PointsDrawn() / elapsed_s;
    state.counters["redraws_per_s"] = redraws / elapsed_s;
    state.counters["dropped"] = scope.GetDroppedFrames();
    state.counters["lost"] = scope.GetLostFrames();
}
BENCHMARK(BM_ScopeAtRealTime)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
