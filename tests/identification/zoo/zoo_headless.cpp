#include "zoo_headless.h"

#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <deque>
#include <fstream>
#include <nlohmann/json.hpp>

#include "host/link/drive_facts.h"
#include "identification/encoder_connections.h"
#include "identification/encoder_resolution.h"
#include "identification/phase_connections.h"
#include "identification/result_texts.h"

namespace orvex::zoo {
namespace {

using nlohmann::json;

// One `axishost test` run and what came back.
struct Job {
    QStringList args;
    json report;
    int exit_code = -1;
    std::string error;  // the run itself went wrong: no report, crash, timeout
};

// Runs the jobs `parallel` at a time. Every run is its own process: nothing of one
// test's drive or setup reaches the next, as on a production line.
void RunAll(std::vector<Job>& jobs, int parallel) {
    struct Running {
        Job* job;
        std::unique_ptr<QProcess> process;
    };
    std::deque<Job*> waiting;
    for (Job& j : jobs) waiting.push_back(&j);
    std::vector<Running> running;
    auto finish = [](Running& r) {
        QProcess& p = *r.process;
        if (!p.waitForFinished(180000)) {
            p.kill();
            p.waitForFinished();
            r.job->error = "axishost did not finish within 3 minutes";
            return;
        }
        r.job->exit_code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.job->report = json::parse(p.readAllStandardOutput().toStdString(), nullptr, false);
        if (r.job->report.is_discarded() || !r.job->report.is_object())
            r.job->error = "no report; axishost said: " + p.readAllStandardError().toStdString();
    };
    while (!waiting.empty() || !running.empty()) {
        while (!waiting.empty() && static_cast<int>(running.size()) < std::max(parallel, 1)) {
            auto p = std::make_unique<QProcess>();
            p->start(QStringLiteral(ORVEX_BIN_DIR "/axishost"), waiting.front()->args);
            running.push_back({waiting.front(), std::move(p)});
            waiting.pop_front();
        }
        finish(running.front());
        running.erase(running.begin());
    }
}

Job TestJob(const std::string& test, const std::string& setup, const std::string& scenario) {
    // "--answer no": the report holds the values either way and nothing is saved.
    Job job;
    job.args = {"test",
                QString::fromStdString(test),
                QString::fromStdString(setup),
                "--drive",
                QString::fromStdString("sim:" + scenario),
                "--answer",
                "no"};
    return job;
}

std::optional<double> Identified(const json& report, const std::string& name) {
    if (!report.contains("identified")) return std::nullopt;
    for (const json& v : report["identified"])
        if (v.value("name", "") == name && v["value"].is_number()) return v["value"].get<double>();
    return std::nullopt;
}

// The row of a run with its verdict; the quantity and target are filled in after.
Row Verdict(const Job& job, const std::string& test, const std::string& bench) {
    Row row;
    row.test = test;
    row.bench = bench;
    row.passed = job.error.empty() && job.exit_code == 0;
    if (!job.error.empty()) {
        row.failure = job.error;
        return row;
    }
    row.duration_s = job.report.value("duration_s", 0.0);
    if (job.report["failure"].is_string()) row.failure = job.report["failure"].get<std::string>();
    return row;
}

void Compare(Row& row, const Job& job, const char* name, const char* quantity, const char* unit,
             double truth, bool relative) {
    row.quantity = quantity;
    row.unit = unit;
    row.value = Identified(job.report, name);
    row.truth = truth;
    if (row.value) row.error = relative ? *row.value / truth - 1.0 : *row.value - truth;
}

bool Within(const Row& row, double bound) {
    return row.passed && row.error && std::fabs(*row.error) <= bound;
}

std::string Percent(double fraction) {
    char text[16];
    std::snprintf(text, sizeof text, "%g %%", 100 * fraction);
    return text;
}

}  // namespace

std::vector<Row> RunMotor(const std::string& folder, const std::string& motor,
                          const Targets& targets, int parallel) {
    const std::string scenario_file = FolderPath(folder) + motor + ".json";
    const std::string setup_file = FolderPath(folder) + motor + ".setup.json";
    std::ifstream in(scenario_file);
    const json bench = json::parse(in, nullptr, false);
    if (bench.is_discarded()) {
        Row row;
        row.bench = motor;
        row.failure = scenario_file + ": not readable JSON";
        return {row};
    }
    const double r_true = bench["motor"]["phase_resistance_ohm"];
    const double l_true = bench["motor"]["phase_inductance_H"];
    const double jt_true = bench["motor"]["rotor_inertia_kgm2"].get<double>() +
                           bench["load"]["inertia_kgm2"].get<double>();
    const double vdc_true = bench["drive"]["bus_voltage_V"];
    const double lines_true = bench["encoder"]["lines"];
    const json analogue = bench.value("analogue_input", json::object());
    const double analogue_min_V = analogue.value("min_V", 0.0);
    const double analogue_max_V = analogue.value("max_V", 0.0);

    const char* const tests[] = {"vdc",     "phase", "encoder", "resolution", "rl",
                                 "current", "angle", "inertia", "analogue"};
    std::vector<Job> jobs;
    for (const char* t : tests) jobs.push_back(TestJob(t, setup_file, scenario_file));
    RunAll(jobs, parallel);

    std::vector<Row> rows;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const std::string test = tests[i];
        const Job& job = jobs[i];
        Row row = Verdict(job, test, motor);
        if (test == "vdc") {
            Compare(row, job, "Vdc", "Vdc", "V", vdc_true, false);
            row.meets_target = Within(row, targets.bus_voltage_V);
            char text[24];
            std::snprintf(text, sizeof text, "%g V", targets.bus_voltage_V);
            row.target = text;
        } else if (test == "resolution") {
            Compare(row, job, "No_encoder_lines", "lines", "", lines_true, true);
            row.meets_target = Within(row, 0.0);
            row.target = "exact";
        } else if (test == "rl") {
            Row l = row;
            Compare(row, job, "R", "R", "Ohm", r_true, true);
            row.meets_target = Within(row, targets.resistance);
            row.target = Percent(targets.resistance);
            Compare(l, job, "L", "L", "H", l_true, true);
            l.meets_target = Within(l, targets.inductance) && l.duration_s <= targets.rl_duration_s;
            char text[48];
            std::snprintf(text, sizeof text, "%s, R+L in %g s", Percent(targets.inductance).c_str(),
                          targets.rl_duration_s);
            l.target = text;
            rows.push_back(row);
            row = l;
        } else if (test == "inertia") {
            Compare(row, job, "Jt", "Jt", "kg*m^2", jt_true, true);
            row.meets_target = Within(row, targets.inertia);
            row.target = Percent(targets.inertia);
        } else if (test == "analogue") {
            // The bench applies a sine between its two voltages; every reading must lie
            // between them, give or take one step of the 10-bit input and the rounding
            // to hundredths.
            const double step_V = (analogue_max_V - analogue_min_V) / 1023.0 + 0.005;
            const auto lowest = Identified(job.report, "lowest voltage");
            const auto highest = Identified(job.report, "highest voltage");
            row.quantity = "V";
            row.unit = "V";
            row.value = highest;
            row.truth = analogue_max_V;
            if (highest) row.error = *highest - analogue_max_V;
            row.meets_target = row.passed && lowest && highest &&
                               *lowest >= analogue_min_V - step_V &&
                               *highest <= analogue_max_V + step_V;
            row.target = "readings within the input";
        } else {
            row.meets_target = row.passed;
            row.target = "passes";
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<Row> RunFaultBenches(int parallel) {
    struct Fault {
        const char* test;
        const char* bench;
        std::string text;
    };
    const Fault faults[] = {
        {"phase", "phase_b_open", CTestPhaseConnections::kConnectionFailureText},
        {"encoder", "encoder_disconnected", CTestEncoderConnections::kNoPulsesText},
        {"resolution", "encoder_disconnected", CDetectEncoderResolution::kNoMovementText},
        {"resolution", "encoder_reversed", CDetectEncoderResolution::kReversedText},
        {"rl", "enable_inactive",
         MotionErrorText(drive::kMerEnableInactive, kMotionMaskWithCurrent)},
        {"inertia", "short_circuit",
         MotionErrorText(drive::kMerShortCircuit, kMotionMaskWithCurrent)},
    };
    const std::string setup_file = std::string(ORVEX_RESOURCE_DIR) + "/setups/demo.json";
    std::vector<Job> jobs;
    for (const Fault& f : faults) jobs.push_back(TestJob(f.test, setup_file, f.bench));
    RunAll(jobs, parallel);
    std::vector<Row> rows;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Row row = Verdict(jobs[i], faults[i].test, faults[i].bench);
        row.meets_target =
            jobs[i].error.empty() && jobs[i].exit_code == 1 && row.failure == faults[i].text;
        row.target = "fails with its text";
        rows.push_back(row);
    }
    return rows;
}

}  // namespace orvex::zoo
