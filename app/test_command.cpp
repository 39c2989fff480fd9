#include "app/test_command.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/drive_connection.h"
#include "app/plugin_loader.h"
#include "app/ui_session.h"
#include "host/setup/setup.h"
#include "host/setup/setup_file.h"

namespace axishost {
namespace {

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "axishost: %s\n", message.c_str());
    return code;
}

std::string KnownTests(const PluginEntryPoints& entry) {
    std::string names;
    for (const char* const* n = entry.test_names ? entry.test_names() : nullptr; n && *n; ++n)
        names += (names.empty() ? "" : ", ") + std::string(*n);
    return names.empty() ? "none" : names;
}

struct Arguments {
    std::string name;
    std::string file;
    std::string output;
    bool answer_yes = true;
    bool save = false;
    bool tune = false;
    double bandwidth_hz = std::nan("");  ///< NaN: the setup's
    double damping = std::nan("");
};

// A number given to an option; false (with the reason) for text that is none.
bool ParseNumber(const std::string& option, const std::string& text, double& value,
                 std::string& error) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    if (!text.empty() && end == text.c_str() + text.size() && std::isfinite(value)) return true;
    error = option + " takes a number, not \"" + text + "\"";
    return false;
}

bool Parse(std::vector<std::string> args, Arguments& out, std::string& drive_choice,
           std::string& error) {
    if (!TakeDriveOption(args, drive_choice, error)) return false;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--save") {
            out.save = true;
        } else if (a == "--tune") {
            out.tune = true;
        } else if (a == "--bandwidth" || a == "--damping") {
            if (i + 1 >= args.size()) {
                error = a + " takes a number";
                return false;
            }
            if (!ParseNumber(a, args[++i], a == "--bandwidth" ? out.bandwidth_hz : out.damping,
                             error))
                return false;
        } else if (a == "--answer" || a == "-o") {
            if (i + 1 >= args.size()) {
                error = a == "-o" ? "-o needs a file name" : "--answer takes yes or no";
                return false;
            }
            const std::string& value = args[++i];
            if (a == "-o") {
                out.output = value;
            } else if (value == "yes" || value == "no") {
                out.answer_yes = value == "yes";
            } else {
                error = "--answer takes yes or no, not \"" + value + "\"";
                return false;
            }
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown option " + a + " for test";
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        error = "test takes NAME FILE (see --help)";
        return false;
    }
    if (!out.tune && (!std::isnan(out.bandwidth_hz) || !std::isnan(out.damping))) {
        error = "--bandwidth and --damping go with --tune";
        return false;
    }
    out.name = positional[0];
    out.file = positional[1];
    return true;
}

struct ClockAndReport {
    DriveConnection* drive;
    std::string json;
};

void AdvanceClock(void* context, double seconds) {
    static_cast<ClockAndReport*>(context)->drive->AdvanceClock(seconds);
}

void TakeReport(void* context, const char* json) {
    static_cast<ClockAndReport*>(context)->json = json ? json : "";
}

}  // namespace

int RunTestCommand(const char* program, const std::string& plugin_path, std::string drive_choice,
                   std::vector<std::string> args) {
    Arguments a;
    std::string error;
    if (!Parse(std::move(args), a, drive_choice, error)) return Fail(error, 2);

    // A production line has no screen: the dialog runs off screen unless the caller
    // chose a platform.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    UiSession session(program, UiOptions{});

    Plugin plugin;
    if (!plugin.Load(plugin_path, error)) return Fail(error, 2);
    const PluginEntryPoints& entry = plugin.Entry();
    if (!entry.run_test) return Fail("the plug-in " + plugin_path + " runs no tests", 2);
    auto loaded = axis::LoadSetupFile(a.file);
    if (!loaded.ok()) return Fail(loaded.error, 2);
    for (const auto& w : loaded.warnings)
        std::fprintf(stderr, "axishost: warning: %s\n", w.c_str());
    std::unique_ptr<CMC_Setup> setup = std::move(loaded.setup);
    plugin.AttachSetup(setup.get());

    DriveConnection drive;
    if (!drive.Open(drive_choice, error, DriveClock::kManual)) return Fail(error, 2);
    drive.Attach(setup.get());
    entry.compute_all_options(setup.get());

    ClockAndReport context{&drive, {}};
    const OrvexTestRunHooks hooks{a.answer_yes ? 1 : 0,
                                  drive.HasManualClock() ? &AdvanceClock : nullptr,
                                  &context,
                                  &TakeReport,
                                  &context,
                                  a.tune ? 1 : 0,
                                  a.bandwidth_hz,
                                  a.damping};
    int confirmed = 0;
    const int result = entry.run_test(setup.get(), a.name.c_str(), &hooks, &confirmed);
    drive.Detach(setup.get());
    if (result == -1)
        return Fail("no test " + a.name + " in the plug-in (known: " + KnownTests(entry) + ")", 2);
    if (result == -2)
        return Fail("the test " + a.name + " cannot run headless in this build of the plug-in yet",
                    2);

    nlohmann::json report = nlohmann::json::parse(context.json, nullptr, false);
    if (result == -3) {
        const bool said =
            report.is_object() && report.contains("error") && report["error"].is_string();
        return Fail("--tune: " + (said ? report["error"].get<std::string>()
                                       : "the test " + a.name + " cannot be tuned"),
                    2);
    }
    if (report.is_discarded() || !report.is_object())
        return Fail("the plug-in gave no readable report for " + a.name, 1);
    report["setup_file"] = a.file;
    report["drive"] = drive.Description();
    bool save_failed = false;
    if (!a.save) {
        report["saved"] = false;
    } else if (!confirmed) {
        // Closed without keeping the values (No, or a failed test): nothing to save.
        report["saved"] = false;
        report["save_note"] = "the dialog ended without keeping identified values";
    } else {
        error = axis::SaveSetupFile(*setup, a.file);
        report["saved"] = error.empty();
        if (!error.empty()) {
            report["save_error"] = error;
            save_failed = true;
        }
    }
    const std::string text = report.dump(2) + "\n";
    if (a.output.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
        std::ofstream o(a.output, std::ios::binary | std::ios::trunc);
        if (!(o << text) || !o.flush()) return Fail("cannot write " + a.output, 1);
    }
    if (save_failed) return Fail(report["save_error"].get<std::string>(), 1);
    return result == 1 ? 0 : 1;
}

}  // namespace axishost
