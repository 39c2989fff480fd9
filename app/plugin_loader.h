#pragma once
// Loads the module with dlopen and resolves its C entry points, as the real host
// does. The host reaches the module only through these.

#include <string>

class CMC_Setup;

/// What the host hands OrvexRunTest (the plug-in's declaration, repeated here: the
/// host never includes the plug-in's sources).
struct OrvexTestRunHooks {
    int answer_yes;  ///< 1: Yes to the question asked at Close, 0: No
    void (*advance_drive_clock)(void* context, double seconds);  ///< null: real time
    void* clock_context;
    void (*report)(void* context, const char* json);  ///< gets the JSON report once
    void* report_context;
    int tune;             ///< 1: "Tune" before Start (loop tuning tests only)
    double bandwidth_hz;  ///< with tune: the bandwidth to design from; NaN: the setup's
    double damping;       ///< with tune: the damping to design from; NaN: the setup's
};

namespace axishost {

struct PluginEntryPoints {
    void (*compute_all_options)(CMC_Setup*) = nullptr;
    int (*on_init_param)(CMC_Setup*, const char*) = nullptr;
    double (*get_scale_factor)(CMC_Setup*, const char*, const char*) = nullptr;
    double (*get_scale_offset)(CMC_Setup*, const char*) = nullptr;
    void (*compute_options_from_parameters)(CMC_Setup*) = nullptr;
    void (*read_back_parameters_from_options)(CMC_Setup*) = nullptr;
    int (*edit_setup)(CMC_Setup*) = nullptr;  ///< null while the module has no editor
    /// Opens one of the module's dialogs by name: 1 OK, 0 cancelled, -1 unknown name.
    int (*open_dialog)(CMC_Setup*, const char*) = nullptr;
    /// The names open_dialog knows, null-ended.
    const char* const* (*dialog_names)() = nullptr;
    /// Reports what in a setup keeps scale factors from being computed, one line each.
    int (*setup_problems)(CMC_Setup*, void (*)(const char*, void*), void*) = nullptr;
    /// Runs one test dialog headless (OrvexRunTest): 1 passed, 0 failed, -1 unknown
    /// name, -2 a test the module has no dialog for yet, -3 a tuning request the test
    /// cannot take (the report is then {"error": why}).
    int (*run_test)(CMC_Setup*, const char*, const OrvexTestRunHooks*, int*) = nullptr;
    /// The test names run_test knows, null-ended.
    const char* const* (*test_names)() = nullptr;
    int* kuf_sinusoidal_mode = nullptr;
};

class Plugin {
  public:
    Plugin() = default;
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    /// Loads the library at `path`; false with `error` set when it cannot be loaded or
    /// lacks a required entry point.
    bool Load(const std::string& path, std::string& error);
    const PluginEntryPoints& Entry() const { return entry_; }

    /// Hands the setup the module's scale factors and calls OnInitParam for each
    /// parameter in file order, as the host does after loading a setup.
    void AttachSetup(CMC_Setup* setup) const;

  private:
    void* handle_ = nullptr;
    PluginEntryPoints entry_;
};

/// liborvex.so next to the running executable.
std::string DefaultPluginPath();

}  // namespace axishost
