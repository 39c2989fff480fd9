// The drive scope of the tuning dialogs at real-time speed: the simulated drive on
// the wall clock streams the four speed-tuning channels (a frame about every
// millisecond), the dialogs' frame handler takes every frame into the scope logger
// and draws the new points into the scope graph. Reported per wall-clock second:
// frames delivered and drawn, points drawn, plot redraws, and the frames dropped as
// malformed or lost in the sequence (both must be 0); with the process's share of a
// core and its CPU time per redraw (frames included), since on a shared machine the
// redraw rate is that share divided by the cost.
//
// Run: QT_QPA_PLATFORM=offscreen build/bin/bench_tuning_scope
// (SCOPE_PICTURE=FILE.png saves the plot as it was at the end.)

#include <benchmark/benchmark.h>
#include <qcustomplot.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "compute/scales.h"
#include "host/drive/comm.h"
#include "host/drive/scope_logger.h"
#include "host/plot/graph_document.h"
#include "host/plot/graph_window.h"
#include "host/setup/host_math.h"
#include "host/setup/setup_file.h"
#include "simdrive/clock.h"
#include "simdrive/scenario.h"
#include "simdrive/simulated_drive.h"
#include "tuning/reference_segments.h"
#include "tuning/scope_feed.h"

namespace {

constexpr const char* kMotor = "nema17";

// The speed tuning program on the zoo's NEMA 17, repeated runs of the setup's own
// profile, the way the dialog starts it (the program aligns the rotor itself): the
// scope then shows what it shows a user, curves that move.
bool StartSpeedTuning(orvex::sim::SimulatedDrive& drive, CMC_Setup& setup, std::string& error) {
    const CMC_Parameters parameters = setup.GetParameters();
    for (int i = 0; i < parameters.GetParametersCount(); ++i) {
        const CMC_Parameter* p = parameters[i];
        if (p->IsOption())
            drive.WriteRegister(p->GetName(), p->GetValueInBaseUnit(),
                                p->GetType() == kTypeOption32 ? 32 : 16);
    }
    auto param = [&setup](const char* name) { return setup.GetParameterValueInBaseUnit(name); };
    const double T_S = orvex::GetSpeedLoopPeriod(&setup);
    const double k_i = orvex::GetCurrentScale(&setup);
    const auto table = orvex::tuning::BuildReferenceSegments(
        orvex::tuning::ReferenceKind::kSpeed, orvex::tuning::ReferenceType::kPositive,
        axis::TG_FRound(param("TestSpeed") * orvex::GetLoadSpeedScale(&setup)),
        {param("TaPS"), param("TPS"), param("TaNS"), param("TNS")}, T_S);
    if (!table.ok()) {
        error = table.error;
        return false;
    }
    // The voltage that drives the test current through the winding: R I of the bus.
    const double ref_test = param("R") * param("TestCurrent") / param("Vdc") * 32767;
    bool ok =
        drive.WriteVariable("RefTest", std::trunc(ref_test)) &&
        drive.WriteVariable("IlimPS_Test", std::trunc(param("TestLimitCurrent") * k_i)) &&
        drive.WriteVariable("Imax_Prot_Test", std::trunc(param("TestProtectionCurrent") * k_i)) &&
        drive.WriteVariable("MultiC", 1);
    for (int i = 0; i < 6 && ok; ++i)
        ok = drive.WriteVariable("a" + std::to_string(i), table.segments[i].samples) &&
             drive.WriteVariable("b" + std::to_string(i), table.segments[i].Increment());
    ok = ok && drive.ExecuteProgram("Speed_Controller_Tuning_Test");
    if (!ok) error = drive.LastErrorText();
    return ok;
}

struct PaintCounter : QObject {
    unsigned long paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

void BM_ScopeAtRealTime(benchmark::State& state) {
    const double run_s = 3.0;
    const std::string zoo = std::string(ORVEX_RESOURCE_DIR) + "/sim/zoo/" + kMotor;
    std::string error;
    const auto scenario = orvex::sim::LoadScenarioFile(zoo + ".json", error);
    auto loaded = axis::LoadSetupFile(zoo + ".setup.json");
    if (!scenario || !loaded.ok()) {
        state.SkipWithError((error + loaded.error).c_str());
        return;
    }
    auto setup = std::move(loaded.setup);
    orvex::sim::RealTimeClock clock(1.0);
    orvex::sim::SimulatedDrive drive(*scenario, clock);
    CMC_Comm comm(drive);
    comm.Attach(setup.get());
    if (!StartSpeedTuning(drive, *setup, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    CMC_ScopeLogger scope(setup.get(), nullptr);
    for (const char* v : {"Speed_Reference", "Load_Speed", "Current_Reference", "Motor_Current"})
        scope.AddVariable(v);
    const double window_s = 0.5;  // as long as a profile
    scope.ChangeSettings(window_s, 1, 1, nullptr, 0, 0);
    CGraphFilter* filter = scope.GetGraphDocument().GetAt(0);
    const int colours[] = {2, 5, 8, 9};
    for (int item = 1; item <= 4; ++item) filter->Add(CXYCurve(0, item, 1, colours[item - 1]));
    CGraphWindow graph;
    graph.resize(800, 400);
    graph.show();
    graph.SubclassDlgItem(nullptr, filter);
    // A redraw is a paint of the plot on the screen: after a whole replot, or after the
    // curves' layer alone was drawn again.
    PaintCounter painted;
    graph.Plot()->installEventFilter(&painted);
    unsigned long replots = 0;
    QObject::connect(graph.Plot(), &QCustomPlot::afterReplot, [&replots] { ++replots; });
    orvex::tuning::ScopeFeed feed(scope, graph);
    if (!scope.BeginUploadData()) {
        state.SkipWithError(scope.GetErrorText().c_str());
        return;
    }
    unsigned long frames = 0, sweeps = 0;
    double elapsed_s = 0;
    const std::clock_t cpu_start = std::clock();
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        do {
            frames += static_cast<unsigned long>(CMC_Comm::CheckForUnrequestedMessages());
            // Each sweep of the window moves on in time: the values' axes fit the sweep
            // that ended, the time axis shows the one that begins.
            if (feed.Repaints() != sweeps) {
                sweeps = feed.Repaints();
                graph.ZoomOut();
                QCPAxis* time = graph.Plot()->xAxis;
                time->setRange(time->range().upper, time->range().upper + window_s);
            }
            QCoreApplication::processEvents();
            elapsed_s =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } while (elapsed_s < run_s);
    }
    scope.EndUploadData();
    const unsigned long redraws = painted.paints;
    if (const char* picture = std::getenv("SCOPE_PICTURE")) graph.SavePicture(picture);
    const double cpu_s = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    state.counters["frames_per_s"] = frames / elapsed_s;
    state.counters["points_per_s"] = feed.PointsDrawn() / elapsed_s;
    state.counters["redraws_per_s"] = redraws / elapsed_s;
    state.counters["whole_replots_per_s"] = replots / elapsed_s;
    // The share of a core the process had: on a loaded machine the redraw rate is
    // bounded by it, so the cost of one redraw is what the plot code controls.
    state.counters["cpu_share"] = cpu_s / elapsed_s;
    state.counters["cpu_ms_per_redraw"] = redraws ? 1e3 * cpu_s / redraws : 0.0;
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
