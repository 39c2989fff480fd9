#include "app/plugin_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include "host/setup/setup.h"

namespace axishost {

Plugin::~Plugin() {
    if (handle_) dlclose(handle_);
}

bool Plugin::Load(const std::string& path, std::string& error) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error = "cannot load the plug-in " + path + ": " + (why ? why : "unknown reason");
        return false;
    }
    bool ok = true;
    auto need = [&](auto& fn, const char* name, bool required = true) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle_, name));
        if (!fn && required) {
            if (ok) error = "the plug-in " + path + " lacks the entry point " + name;
            ok = false;
        }
    };
    need(entry_.compute_all_options, "ComputeAllOptions");
    need(entry_.on_init_param, "OnInitParam");
    need(entry_.get_scale_factor, "GetScaleFactor");
    need(entry_.get_scale_offset, "GetScaleOffset");
    need(entry_.compute_options_from_parameters, "ComputeOptionsFromParameters");
    need(entry_.read_back_parameters_from_options, "ReadBackParametersFromOptions");
    need(entry_.kuf_sinusoidal_mode, "g_bKufSinusoidalMode");
    need(entry_.edit_setup, "EditSetup", false);
    need(entry_.open_dialog, "OrvexOpenDialog", false);
    need(entry_.dialog_names, "OrvexDialogNames", false);
    need(entry_.setup_problems, "OrvexSetupProblems", false);
    need(entry_.run_test, "OrvexRunTest", false);
    need(entry_.test_names, "OrvexTestNames", false);
    return ok;
}

void Plugin::AttachSetup(CMC_Setup* setup) const {
    setup->SetScaleProvider(axis::ScaleProvider{entry_.get_scale_factor, entry_.get_scale_offset});
    const CMC_Parameters params = setup->GetParameters();
    for (int i = 0; i < params.GetParametersCount(); ++i)
        entry_.on_init_param(setup, params[i]->GetName().c_str());
}

std::string DefaultPluginPath() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return "liborvex.so";
    return (exe.parent_path() / "liborvex.so").string();
}

}  // namespace axishost
