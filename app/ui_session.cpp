#include "app/ui_session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "host/ui/modal_seam.h"

namespace axishost {

std::string PrepareSnapshotDir(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return "--snapshot " + dir + ": the folder cannot be made (" + ec.message() + ")";
    if (!std::filesystem::is_directory(dir)) return "--snapshot " + dir + ": not a folder";
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        return "--snapshot " + dir + ": pictures cannot be written there (" + std::strerror(errno) +
               ")";
    return {};
}

bool TakeUiOptions(std::vector<std::string>& args, UiOptions& options, std::string& error) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--snapshot") {
            if (i + 1 >= args.size()) {
                error = "--snapshot needs a folder";
                return false;
            }
            options.snapshot_dir = args[++i];
            error = PrepareSnapshotDir(options.snapshot_dir);
            if (!error.empty()) return false;
        } else if (args[i] == "--auto") {
            if (i + 1 >= args.size() || (args[i + 1] != "cancel" && args[i + 1] != "ok")) {
                error = "--auto takes cancel or ok";
                return false;
            }
            options.auto_answer = args[++i];
        } else {
            rest.push_back(args[i]);
        }
    }
    args = std::move(rest);
    return true;
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

std::string NoDisplayMessage(const std::string& example) {
    return "no display to show dialogs on (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM "
           "are unset).\nRun it under a virtual X server:  xvfb-run -a axishost " +
           example + "\nor without any window:  QT_QPA_PLATFORM=offscreen axishost " + example +
           " --auto cancel --snapshot DIR";
}

void EnsureRuntimeDir() {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (dir && *dir) return;
    const std::string own = "/tmp/axishost-runtime-" + std::to_string(::getuid());
    ::mkdir(own.c_str(), 0700);
    struct stat st {};
    if (::stat(own.c_str(), &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & 0777) == 0700)
        ::setenv("XDG_RUNTIME_DIR", own.c_str(), 1);
}

UiSession::UiSession(const char* program, const UiOptions& options) {
    EnsureRuntimeDir();
    argv_[0] = const_cast<char*>(program);
    argv_[1] = nullptr;
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setApplicationDisplayName(QStringLiteral("axishost"));
    auto& seam = axis::TheScreenModalSeam();
    seam.SetSnapshotDir(QString::fromStdString(options.snapshot_dir));
    using Answer = axis::ScreenModalSeam::AutoAnswer;
    seam.SetAutoAnswer(options.auto_answer == "ok"       ? Answer::Ok
                       : options.auto_answer == "cancel" ? Answer::Cancel
                                                         : Answer::None);
}

UiSession::~UiSession() = default;

}  // namespace axishost
