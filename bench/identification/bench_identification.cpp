// Identification accuracy on the motor zoo, as a production line gets it: every test
// dialog of the module run through `axishost test` on every zoo motor (or on every
// motor of another folder: --zoo=holdout for the held-out motors, --zoo=DIR for any),
// and each fault bench under the test that must find its fault. Prints one table (identified value,
// truth, error, drive time, whether the promised accuracy is met), then times whole
// `axishost test` runs, the wait per motor on the line.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "zoo_headless.h"

namespace {

using orvex::zoo::Row;

std::string Number(const std::optional<double>& v) {
    if (!v) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", *v);
    return text;
}

std::string Error(const Row& row) {
    if (!row.error) return "-";
    char text[32];
    if (row.unit == "V")
        std::snprintf(text, sizeof text, "%+.3f V", *row.error);
    else
        std::snprintf(text, sizeof text, "%+.2f %%", 100 * *row.error);
    return text;
}

int PrintTable(const std::string& folder) {
    std::printf("%-10s %-20s %-6s %12s %12s %10s %8s  %-4s %s\n", "test", "bench", "value",
                "identified", "truth", "error", "drive s", "met", "target / failure");
    int missed = 0;
    auto print = [&](const Row& row) {
        missed += !row.meets_target;
        std::string note = row.target;
        // The start of a failure text: on a fault bench it is the evidence; elsewhere,
        // news.
        if (!row.failure.empty()) {
            std::string head = row.failure.substr(0, 60);
            std::replace_if(
                head.begin(), head.end(),
                [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
            note += " | " + head;
        }
        std::printf("%-10s %-20s %-6s %12s %12s %10s %8.2f  %-4s %s\n", row.test.c_str(),
                    row.bench.c_str(), row.quantity.c_str(), Number(row.value).c_str(),
                    Number(row.truth).c_str(), Error(row).c_str(), row.duration_s,
                    row.meets_target ? "yes" : "NO", note.c_str());
    };
    for (const std::string& motor : orvex::zoo::Motors(folder))
        for (const Row& row : orvex::zoo::RunMotor(folder, motor, orvex::zoo::Targets{}))
            print(row);
    for (const Row& row : orvex::zoo::RunFaultBenches()) print(row);
    std::printf("%d row(s) miss their target\n", missed);
    std::fflush(stdout);
    return missed;
}

// One motor's whole line test: every dialog, each its own axishost process.
void BM_LineTestOfOneMotor(benchmark::State& state, std::string folder, std::string motor) {
    for (auto _ : state)
        benchmark::DoNotOptimize(orvex::zoo::RunMotor(folder, motor, orvex::zoo::Targets{}, 1));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string folder = "zoo";
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--zoo=", 6) == 0) folder = argv[i] + 6;
    const std::vector<std::string> motors = orvex::zoo::Motors(folder);
    if (motors.empty()) {
        std::fprintf(stderr, "bench_identification: no motors in %s\n",
                     orvex::zoo::FolderPath(folder).c_str());
        return 2;
    }
    const int missed = PrintTable(folder);
    // The line test's time on the smallest and the largest motor (first and last by name).
    for (const std::string& motor : {motors.front(), motors.back()})
        benchmark::RegisterBenchmark(("BM_LineTestOfOneMotor/" + motor).c_str(),
                                     BM_LineTestOfOneMotor, folder, motor)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return missed == 0 ? 0 : 1;
}
