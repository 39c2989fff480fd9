// axishost as a careless or hostile command line meets it: a report never replaces a
// setup, a save never writes through what was left beside its target, and a setup that
// cannot be scaled says why instead of answering quietly.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/support/command.h"
#include "tests/support/file_text.h"

namespace {

namespace fs = std::filesystem;
const std::string kBin = ORVEX_BIN_DIR;

using HostRun = orvex_test::CommandResult;
using orvex_test::ReadFileText;

HostRun Axishost(const std::string& args) {
    return orvex_test::RunCommand(kBin + "/axishost " + args + " 2>&1");
}

void Write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

class AxishostFiles : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("axishost-files-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        setup_ = dir_ / "demo.json";
        fs::copy_file(std::string(ORVEX_RESOURCE_DIR) + "/setups/demo.json", setup_);
        original_ = ReadFileText(setup_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    // The demo setup with one change made to its JSON.
    fs::path Variant(const char* name, void (*change)(nlohmann::ordered_json&)) {
        auto doc = nlohmann::ordered_json::parse(original_);
        change(doc);
        const fs::path p = dir_ / name;
        Write(p, doc.dump(1));
        return p;
    }
    fs::path dir_, setup_;
    std::string original_;
};

TEST_F(AxishostFiles, AReportNeverReplacesTheSetupOrAnotherFileUnlessForced) {
    fs::create_hard_link(setup_, dir_ / "same.json");
    const std::string other = (dir_ / "notes.txt").string();
    Write(other, "my notes");
    const struct {
        std::string out;
        const char* says;
    } refused[] = {
        {setup_.string(), "is the setup file being read"},
        {(dir_ / "." / "sub" / ".." / "demo.json").string(), "is the setup file being read"},
        {(dir_ / "same.json").string(), "is the setup file being read"},
        {other, "is not a report"},
    };
    fs::create_directories(dir_ / "sub");
    for (const auto& c : refused) {
        const HostRun r = Axishost("compute " + setup_.string() + " -o " + c.out);
        EXPECT_EQ(r.code, 2) << c.out << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("--force"), std::string::npos) << r.out;
    }
    EXPECT_EQ(ReadFileText(setup_), original_);
    EXPECT_EQ(ReadFileText(other), "my notes");

    // A report may replace a report; --force replaces anything and keeps it as .bak.
    const std::string report = (dir_ / "report.json").string();
    ASSERT_EQ(Axishost("compute " + setup_.string() + " -o " + report).code, 0);
    ASSERT_EQ(Axishost("compute " + setup_.string() + " -o " + report).code, 0);
    EXPECT_FALSE(fs::exists(report + ".bak"));
    const HostRun forced = Axishost("compute " + setup_.string() + " -o " + other + " --force");
    EXPECT_EQ(forced.code, 0) << forced.out;
    EXPECT_EQ(ReadFileText(other + ".bak"), "my notes");
    EXPECT_NE(ReadFileText(other).find("orvex-compute-report"), std::string::npos);
    const HostRun same =
        Axishost("compute " + setup_.string() + " -o " + report + " --save " + report);
    EXPECT_EQ(same.code, 2) << same.out;
}

TEST_F(AxishostFiles, SavesWriteNothingThroughWhatIsLeftBesideTheTarget) {
    const fs::path victim = dir_ / "victim.txt";
    Write(victim, "precious");
    const fs::path out = dir_ / "out.json";
    Write(out, "old setup");
    fs::create_symlink(victim, fs::path(out.string() + ".tmp"));
    HostRun r = Axishost("compute " + setup_.string() + " --save " + out.string());
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(ReadFileText(victim), "precious");
    EXPECT_EQ(ReadFileText(out.string() + ".bak"), "old setup");

    // A backup that cannot be made keeps the old file. (What else a save refuses is
    // tabled in file_save_test; the command line reports each the same way.)
    fs::remove(out.string() + ".bak");
    fs::create_directory(out.string() + ".bak");
    const std::string before = ReadFileText(out);
    r = Axishost("compute " + setup_.string() + " --save " + out.string());
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("backup cannot be made"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFileText(out), before);
}

TEST_F(AxishostFiles, ScaleRefusesUnknownUnitsAndNames) {
    const std::string s = setup_.string();
    const struct {
        std::string args;
        const char* says;
    } cases[] = {
        {"scale " + s + " furlong In", "unknown unit \"furlong\""},
        {"scale " + s + " rpm Limit_Speed", "not a base unit"},
        {"scale " + s + " A NoSuchName", "no parameter or variable \"NoSuchName\""},
    };
    for (const auto& c : cases) {
        const HostRun r = Axishost(c.args);
        EXPECT_EQ(r.code, 2) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
    EXPECT_EQ(Axishost("scale " + s + " A In").code, 0);
}

// Each broken scale input is named; compute still does what it can, and what it saves
// loads again (no value became infinite or undefined).
TEST_F(AxishostFiles, BrokenScaleInputsAreNamedAndNothingUndefinedIsSaved) {
    const struct {
        const char* file;
        void (*change)(nlohmann::ordered_json&);
        const char* named;
        const char* scale;  // a factor that depends on the broken input
    } cases[] = {
        {"adc_text.json", [](auto& d) { d["settings"]["ADCMaxValue"] = "abc"; },
         "setting \"ADCMaxValue\" is \"abc\"", " A In"},
        {"pwmper_zero.json",
         [](auto& d) {
             for (auto& p : d["parameters"])
                 if (p["name"] == "PWMPER") p["value"] = 0.0, p["min"] = 0.0;
         },
         "parameter \"PWMPER\" is 0", " s Ts_S"},
    };
    for (const auto& c : cases) {
        const fs::path in = Variant(c.file, c.change);
        const fs::path saved = dir_ / (std::string("saved-") + c.file);
        const HostRun r = Axishost("compute " + in.string() + " --save " + saved.string() + " -o " +
                                   (dir_ / "report.json").string() + " --force");
        EXPECT_EQ(r.code, 0) << c.file << "\n" << r.out;
        EXPECT_NE(r.out.find(c.named), std::string::npos) << c.file << "\n" << r.out;
        EXPECT_EQ(Axishost("compute " + saved.string()).code, 0)
            << c.file << ": the saved setup does not load again";
        const HostRun scale = Axishost("scale " + in.string() + c.scale);
        EXPECT_EQ(scale.code, 1) << c.file << "\n" << scale.out;
    }
}

}  // namespace
