#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>

#include "app/plugin_loader.h"
#include "host/setup/setup_file.h"
#include "tests/support/command.h"

namespace {

const std::string kBin = ORVEX_BIN_DIR;

const char* kSetup = R"({"format":"orvex-setup","version":1,"parameters":[
  {"name":"NoMotorSteps","value":200,"unit":"","min":1,"max":10000,"type":"integer"},
  {"name":"Motor_transmission","value":1,"unit":"","min":-1e6,"max":1e6,"type":"real"},
  {"name":"Load_transmission","value":1,"unit":"rad","min":-1e6,"max":1e6,"type":"real"},
  {"name":"ImaxPS","value":8,"unit":"A","min":0,"max":100,"type":"real"},
  {"name":"In","value":2,"unit":"A","min":0,"max":100,"type":"real"}]})";

// One plug-in for the whole test program, as one host process loads it once: the
// OnInitParam counter is module state and carries from test to test.
axishost::Plugin& Loaded() {
    static axishost::Plugin plugin;
    static bool loaded = [] {
        std::string error;
        const bool ok = plugin.Load(kBin + "/liborvex.so", error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }();
    EXPECT_TRUE(loaded);
    return plugin;
}

TEST(PluginBoundary, OnInitParamRebuildsStepUnitsOncePerThreeInitialisations) {
    const auto& e = Loaded().Entry();
    auto s = axis::ParseSetup(kSetup).setup;
    s->SetScaleProvider({e.get_scale_factor, e.get_scale_offset});
    EXPECT_EQ(e.on_init_param(s.get(), "In"), 1);  // other names do not count
    EXPECT_EQ(s->GetUnits()->FindUnit("steps"), nullptr);
    EXPECT_EQ(e.on_init_param(s.get(), "NoMotorSteps"), 1);
    EXPECT_EQ(e.on_init_param(s.get(), "nomotorsteps"), 1);
    EXPECT_EQ(s->GetUnits()->FindUnit("steps"), nullptr);
    EXPECT_EQ(e.on_init_param(s.get(), "NOMOTORSTEPS"), 1);  // third: rebuilt, result 1
    ASSERT_NE(s->GetUnits()->FindUnit("steps"), nullptr);
    EXPECT_NEAR(s->GetUnits()->FindUnit("steps")->ToBase(1), 2 * std::numbers::pi / 200, 1e-15);
    EXPECT_EQ(e.on_init_param(s.get(), "Load_transmission"), 1);  // counter was reset

    // A rebuild that fails is reported: a zero transmission gives no step factor.
    s->FindParameter("Load_transmission")->RestoreStored(0, -1, 1);
    EXPECT_EQ(e.on_init_param(s.get(), "Motor_transmission"), 1);
    EXPECT_EQ(e.on_init_param(s.get(), "Load_transmission"), 0);
}

TEST(PluginBoundary, EntryPointsAnswerSafely) {
    const auto& e = Loaded().Entry();
    e.compute_all_options(nullptr);  // returns at once
    auto s = axis::ParseSetup(kSetup).setup;
    EXPECT_EQ(e.get_scale_factor(s.get(), "furlong", "In"), 1.0);
    EXPECT_EQ(e.get_scale_offset(s.get(), "A"), 0.0);
    EXPECT_DOUBLE_EQ(e.get_scale_factor(s.get(), "a", "In"), 16.0 / 65520);
    EXPECT_EQ(*e.kuf_sinusoidal_mode, 0);
}

TEST(PluginBoundary, LoadingRefusesWhatIsNotThePlugin) {
    axishost::Plugin wrong;
    std::string error;
    EXPECT_FALSE(wrong.Load(kBin + "/libaxiscore.so", error));
    EXPECT_NE(error.find("lacks the entry point ComputeAllOptions"), std::string::npos) << error;
    axishost::Plugin missing;
    EXPECT_FALSE(missing.Load(kBin + "/no-such-plugin.so", error));
    EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
}

// The host application as a user meets it: exit codes and messages.
using HostRun = orvex_test::CommandResult;

HostRun Axishost(const std::string& args) {
    return orvex_test::RunCommand(kBin + "/axishost " + args + " 2>&1");
}

TEST(Axishost, CommandLineErrorsAreClearAndNonZero) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("axishost-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string good = (dir / "good.json").string(), bad = (dir / "bad.json").string();
    std::ofstream(good) << kSetup;
    std::ofstream(bad) << "{\"format\": \"orvex-setup\", \"version\": 1, \"parameters\": [{}]}";

    EXPECT_EQ(Axishost("--help").code, 0);
    struct Case {
        std::string args;
        std::string says;
    } cases[] = {
        {"", "no command"},
        {"frobnicate", "unknown command"},
        {"compute", "needs a setup file"},
        {"compute " + bad, "parameters[0]"},
        {"compute /nonexistent.json", "cannot be opened"},
        {"--plugin /nonexistent.so compute " + good, "cannot load the plug-in"},
        {"--plugin " + kBin + "/libaxiscore.so compute " + good, "lacks the entry point"},
        {"scale " + good + " A", "scale takes FILE UNIT NAME"},
        {"compute " + good + " --bogus", "unknown option"},
    };
    for (const auto& c : cases) {
        const HostRun r = Axishost(c.args);
        EXPECT_EQ(r.code, 2) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
    }
    const HostRun scale = Axishost("scale " + good + " A In");
    EXPECT_EQ(scale.code, 0);
    EXPECT_NE(scale.out.find("factor 0.00024420024420024"), std::string::npos) << scale.out;
    const HostRun compute = Axishost("compute " + good);
    EXPECT_EQ(compute.code, 0) << compute.out;
    EXPECT_NE(compute.out.find("\"internal\""), std::string::npos);
    std::filesystem::remove_all(dir);
}

}  // namespace
