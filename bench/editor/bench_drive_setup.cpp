// Opening the Drive Setup dialog on the demo setup, from construction (which brings
// the setup in step: read-back and ranges) to its first paint, offscreen. Target:
// under 200 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>

#include "compute/units_transmission.h"
#include "editor/drive_setup_dlg.h"
#include "host/setup/setup_file.h"
#include "host/ui/modal_seam.h"

namespace {

// Notes the first paint of the dialog itself.
class FirstPaint : public QObject {
  public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted = true;
        return false;
    }
};

void BM_DriveSetupToFirstPaint(benchmark::State& state) {
    auto loaded = axis::LoadSetupFile(ORVEX_RESOURCE_DIR "/setups/demo.json");
    if (!loaded.ok()) {
        state.SkipWithError(loaded.error.c_str());
        return;
    }
    orvex::InstallScaleProvider(loaded.setup.get());
    for (auto _ : state) {
        CDriveSetupDlg dialog(loaded.setup.get(), nullptr);
        FirstPaint paint;
        dialog.installEventFilter(&paint);
        dialog.OnInitDialog();
        dialog.show();
        // The motor setup would open next; that is another dialog's time.
        dialog.KillTimer(CDriveSetupDlg::kMotorSetupTimerId);
        QElapsedTimer guard;
        guard.start();
        while (!paint.painted && guard.elapsed() < 5000) QApplication::processEvents();
        if (!paint.painted) state.SkipWithError("the dialog was never painted");
        dialog.hide();
    }
}
BENCHMARK(BM_DriveSetupToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
