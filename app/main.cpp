// axishost: the host application. Loads setup files, loads the module with dlopen,
// calls its entry points, saves.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/compute_report.h"
#include "app/drive_connection.h"
#include "app/plugin_loader.h"
#include "app/test_command.h"
#include "app/ui_session.h"
#include "host/axiscore_info.h"
#include "host/setup/file_save.h"
#include "host/setup/setup_file.h"
#include "host/ui/modal_seam.h"

namespace {

constexpr const char* kUsage = R"(Usage: axishost [--plugin PATH] COMMAND ...

Commands:
  edit FILE [--snapshot DIR] [--auto cancel|ok] [--drive DRIVE]
        Open the module's setup editor (the Drive Setup dialog) on the setup FILE.
        It shows the motor setup first. OK saves the setup (atomically, keeping
        FILE.bak); Cancel writes nothing. --snapshot and --auto as for dialog.
  compute FILE [-o OUT] [--force] [--forward] [--save SETUP]
        Load the setup FILE, let the module bring it up to date (ComputeAllOptions;
        with --forward, first compute every option from the parameters) and write a
        JSON report of every parameter (value, internal value, minimum, maximum,
        units) to OUT, or to standard output. OUT is not overwritten when it is FILE
        itself or an existing file that is not such a report, unless --force is given
        (the file replaced is then kept as OUT.bak). --save writes the updated setup
        file (atomically, keeping SETUP.bak).
  scale FILE UNIT NAME
        Print the module's scale factor and offset between the internal unit of NAME
        and UNIT on the setup FILE: physical = (internal + offset) x factor.
  dialog NAME FILE [--snapshot DIR] [--auto cancel|ok] [--drive DRIVE]
        Open one of the module's dialogs on the setup FILE, to try it out. OK saves
        the setup (atomically, keeping FILE.bak); Cancel writes nothing. NAME is one
        of the module's dialogs (driveinfo, vdc ...; an unknown name lists them).
        Test dialogs run their programs on the connected drive.
        --snapshot DIR  every dialog and message box saves DIR/NN-NAME.png when
                        first shown
        --auto cancel   every dialog and message box is closed with Cancel (or its
                        only button) as soon as it is shown
        --auto ok       every dialog is confirmed with OK and every message box
                        answered with its first button (OK, Yes); a dialog that
                        stays open after that is cancelled
        Needs a display: run it under xvfb-run, or with QT_QPA_PLATFORM=offscreen
        together with --auto cancel.

  test NAME FILE [--answer yes|no] [-o RESULT.json] [--save] [--drive DRIVE]
       [--tune [--bandwidth HZ] [--damping D]]
        Run one of the module's test dialogs without a screen on the setup FILE,
        as a production line does: Start, wait for the verdict, Close, answering
        the question about identified values with --answer (default yes). The
        simulated drive runs on its own clock, as fast as the machine goes.
        Writes a JSON report (test, outcome, failure text, identified values,
        old and new parameter values, duration in drive time, MER) to RESULT.json
        or standard output. --save writes FILE (atomically, keeping FILE.bak)
        when the dialog ended with the identified values kept. NAME is phase,
        encoder, resolution, rl, current, angle, inertia, analogue, vdc, speed or
        position. encoder and analogue run until stopped: Stop comes after 4 s and
        1 s of drive time, as a user would press it. The loop tuning tests (speed,
        position) run once with the data logger and add the logged signals and the
        step-response figures. --tune presses their "Tune" before Start, so that
        the run uses the gains designed from the setup's bandwidth and damping
        (or HZ and D, each checked against what the dialog accepts: the
        parameter's range, for the bandwidth also the stable bound at that
        damping); the report's "tuning" says which gains were used. A passed
        tuning run is closed with OK when the answer is yes, so that --save keeps
        its gains. Exit code 0 passed, 1 failed.

Options:
  --plugin PATH   the module to load (default: liborvex.so next to axishost)
  --drive DRIVE   the drive dialogs talk to:
                    sim            the simulated drive, default scenario (the default)
                    sim:NAME       a shipped scenario (resources/sim/NAME.json:
                                   short_circuit, enable_inactive ...)
                    sim:FILE.json  a scenario file
                    none           no drive connected
                  The simulated drive runs in real time.
  --help          this text
  --version       the host library's version

Exit codes: 0 done (for dialog: OK and saved, or cancelled), 1 the work failed
(file not saved, ...), 2 bad arguments, unreadable setup or plug-in, no display.
)";

int Fail(const std::string& message, int code = 2) {
    std::fprintf(stderr, "axishost: %s\n", message.c_str());
    return code;
}

struct Loaded {
    axishost::Plugin plugin;
    std::unique_ptr<CMC_Setup> setup;
};

// Loads the plug-in and the setup; on failure prints why and returns false.
bool LoadBoth(const std::string& plugin_path, const std::string& file, Loaded& out) {
    std::string error;
    if (!out.plugin.Load(plugin_path, error)) {
        Fail(error);
        return false;
    }
    auto result = axis::LoadSetupFile(file);
    if (!result.ok()) {
        Fail(result.error);
        return false;
    }
    for (const auto& w : result.warnings)
        std::fprintf(stderr, "axishost: warning: %s\n", w.c_str());
    out.setup = std::move(result.setup);
    out.plugin.AttachSetup(out.setup.get());
    if (out.plugin.Entry().setup_problems)
        out.plugin.Entry().setup_problems(
            out.setup.get(),
            [](const char* problem, void* origin) {
                std::fprintf(stderr, "axishost: warning: %s: %s\n",
                             static_cast<const std::string*>(origin)->c_str(), problem);
            },
            const_cast<std::string*>(&file));
    return true;
}

int RunCompute(const std::string& plugin_path, const std::vector<std::string>& args) {
    std::string file, out, save;
    bool forward = false, force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--forward")
            forward = true;
        else if (a == "--force")
            force = true;
        else if ((a == "-o" || a == "--save") && i + 1 < args.size())
            (a == "-o" ? out : save) = args[++i];
        else if (a == "-o" || a == "--save")
            return Fail(a + " needs a file name");
        else if (!a.empty() && a[0] == '-')
            return Fail("unknown option " + a + " for compute");
        else if (file.empty())
            file = a;
        else
            return Fail("compute takes one setup file, got also " + a);
    }
    if (file.empty()) return Fail("compute needs a setup file (see --help)");
    // Refused before anything is computed, so that a wrong command line costs nothing.
    bool replaces_other_file = false;
    if (!out.empty()) {
        if (!save.empty() && axishost::SameFile(out, save))
            return Fail("-o and --save name the same file " + out);
        const std::string conflict = axishost::ReportTargetConflict(out, file);
        if (!conflict.empty() && !force) return Fail(conflict + " (give --force to overwrite it)");
        replaces_other_file = !conflict.empty();
    }
    Loaded loaded;
    if (!LoadBoth(plugin_path, file, loaded)) return 2;
    const auto& entry = loaded.plugin.Entry();
    if (forward) entry.compute_options_from_parameters(loaded.setup.get());
    entry.compute_all_options(loaded.setup.get());
    const std::string report = axishost::ComputeReport(*loaded.setup);
    if (out.empty()) {
        std::fwrite(report.data(), 1, report.size(), stdout);
    } else {
        // A report is made again in a moment; what --force replaces may not be.
        const std::string error =
            axis::SaveFileAtomically(out, report, {.keep_backup = replaces_other_file});
        if (!error.empty()) return Fail(error, 1);
    }
    if (!save.empty()) {
        const std::string error = axis::SaveSetupFile(*loaded.setup, save);
        if (!error.empty()) return Fail(error, 1);
    }
    return 0;
}

int RunScale(const std::string& plugin_path, const std::vector<std::string>& args) {
    if (args.size() != 3) return Fail("scale takes FILE UNIT NAME (see --help)");
    const std::string &file = args[0], &unit = args[1], &name = args[2];
    Loaded loaded;
    if (!LoadBoth(plugin_path, file, loaded)) return 2;
    // The module answers 1 for whatever it does not know; a factor of 1 for a misspelt
    // unit or name would pass for an answer.
    const CMC_Setup& setup = *loaded.setup;
    if (!setup.GetUnits()->FindBaseUnit(unit)) {
        const CMC_Unit* derived = setup.GetUnits()->FindUnit(unit);
        if (derived)
            return Fail("\"" + unit + "\" is not a base unit; the factor is to the base unit \"" +
                        derived->GetUnitType()->GetBaseUnit()->GetName() + "\"");
        return Fail("unknown unit \"" + unit + "\"");
    }
    {
        axis::ScopedSilentLookup silent;
        if (!setup.FindParameter(name) && !setup.FindVariable(name, 0))
            return Fail("no parameter or variable \"" + name + "\" in " + file);
    }
    const auto& entry = loaded.plugin.Entry();
    const double factor = entry.get_scale_factor(loaded.setup.get(), unit.c_str(), name.c_str());
    const double offset = entry.get_scale_offset(loaded.setup.get(), unit.c_str());
    if (!std::isfinite(factor) || !std::isfinite(offset) || factor == 0.0)
        return Fail("the factor for \"" + name + "\" in \"" + unit + "\" cannot be computed from " +
                        file + " (factor " + std::to_string(factor) + ", offset " +
                        std::to_string(offset) + ")",
                    1);
    std::printf("factor %.17g\noffset %.17g\n", factor, offset);
    return 0;
}

std::string KnownDialogs(const axishost::PluginEntryPoints& entry) {
    std::string names;
    for (const char* const* n = entry.dialog_names ? entry.dialog_names() : nullptr; n && *n; ++n)
        names += (names.empty() ? "" : ", ") + std::string(*n);
    return names.empty() ? "none" : names;
}

int RunDialog(const char* program, const std::string& plugin_path, std::string drive_choice,
              std::vector<std::string> args) {
    axishost::UiOptions ui;
    std::string error;
    if (!axishost::TakeUiOptions(args, ui, error)) return Fail(error);
    if (!axishost::TakeDriveOption(args, drive_choice, error)) return Fail(error);
    if (args.size() != 2) return Fail("dialog takes NAME FILE (see --help)");
    const std::string& name = args[0];
    const std::string& file = args[1];
    if (!axishost::HasDisplay())
        return Fail(axishost::NoDisplayMessage("dialog " + name + " " + file));

    // The Qt application outlives the plug-in (declared first, destroyed last).
    axishost::UiSession session(program, ui);
    Loaded loaded;
    if (!LoadBoth(plugin_path, file, loaded)) return 2;
    const auto& entry = loaded.plugin.Entry();
    if (!entry.open_dialog) return Fail("the plug-in " + plugin_path + " opens no dialogs by name");
    axishost::DriveConnection drive;
    if (!drive.Open(drive_choice, error)) return Fail(error);
    drive.Attach(loaded.setup.get());
    entry.compute_all_options(loaded.setup.get());
    const int result = entry.open_dialog(loaded.setup.get(), name.c_str());
    drive.Detach(loaded.setup.get());
    if (result < 0)
        return Fail("no dialog " + name + " in the plug-in (known: " + KnownDialogs(entry) + ")");
    // Pictures asked for and not made are a failed trial run, whatever the dialog did.
    const QStringList snapshot_errors = axis::TheScreenModalSeam().SnapshotErrors();
    for (const QString& e : snapshot_errors) Fail("--snapshot: " + e.toStdString());
    const int done = snapshot_errors.isEmpty() ? 0 : 2;
    if (result == 0) {
        std::printf("cancelled; %s not written\n", file.c_str());
        return done;
    }
    error = axis::SaveSetupFile(*loaded.setup, file);
    if (!error.empty()) return Fail(error, 1);
    std::printf("saved %s\n", file.c_str());
    return done;
}

int RunEdit(const char* program, const std::string& plugin_path, std::string drive_choice,
            std::vector<std::string> args) {
    axishost::UiOptions ui;
    std::string error;
    if (!axishost::TakeUiOptions(args, ui, error)) return Fail(error);
    if (!axishost::TakeDriveOption(args, drive_choice, error)) return Fail(error);
    if (args.size() != 1) return Fail("edit takes one setup file (see --help)");
    const std::string& file = args[0];
    if (!axishost::HasDisplay()) return Fail(axishost::NoDisplayMessage("edit " + file));

    // The Qt application outlives the plug-in (declared first, destroyed last).
    axishost::UiSession session(program, ui);
    Loaded loaded;
    if (!LoadBoth(plugin_path, file, loaded)) return 2;
    const auto& entry = loaded.plugin.Entry();
    if (!entry.edit_setup) return Fail("the plug-in " + plugin_path + " has no setup editor");
    entry.compute_all_options(loaded.setup.get());
    axishost::DriveConnection drive;
    if (!drive.Open(drive_choice, error)) return Fail(error);
    drive.Attach(loaded.setup.get());
    const int result = entry.edit_setup(loaded.setup.get());
    drive.Detach(loaded.setup.get());
    const QStringList snapshot_errors = axis::TheScreenModalSeam().SnapshotErrors();
    for (const QString& e : snapshot_errors) Fail("--snapshot: " + e.toStdString());
    const int done = snapshot_errors.isEmpty() ? 0 : 2;
    if (result != 1) {
        std::printf("cancelled; %s not written\n", file.c_str());
        return done;
    }
    error = axis::SaveSetupFile(*loaded.setup, file);
    if (!error.empty()) return Fail(error, 1);
    std::printf("saved %s\n", file.c_str());
    return done;
}

}  // namespace

int main(int argc, char** argv) {
    axishost::EnsureRuntimeDir();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string plugin_path = axishost::DefaultPluginPath();
    std::string drive_choice = "sim";
    size_t i = 0;
    for (; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (args[i] == "--version") {
            std::printf("axishost with %s\n", axis::AxisCoreVersion());
            return 0;
        }
        if (args[i] == "--plugin") {
            if (i + 1 >= args.size()) return Fail("--plugin needs a path");
            plugin_path = args[++i];
            continue;
        }
        if (args[i] == "--drive") {
            if (i + 1 >= args.size()) return Fail("--drive needs sim, sim:SCENARIO or none");
            drive_choice = args[++i];
            continue;
        }
        break;
    }
    if (i >= args.size()) return Fail("no command given (see --help)");
    const std::string command = args[i];
    const std::vector<std::string> rest(args.begin() + i + 1, args.end());
    if (command == "compute") return RunCompute(plugin_path, rest);
    if (command == "scale") return RunScale(plugin_path, rest);
    if (command == "edit") return RunEdit(argv[0], plugin_path, drive_choice, rest);
    if (command == "dialog") return RunDialog(argv[0], plugin_path, drive_choice, rest);
    if (command == "test")
        return axishost::RunTestCommand(argv[0], plugin_path, drive_choice, rest);
    return Fail("unknown command " + command + " (see --help)");
}
