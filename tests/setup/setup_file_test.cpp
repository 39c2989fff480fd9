#include "host/setup/setup_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

const char* kGood = R"({
  "format": "orvex-setup", "version": 1,
  "drive": {"description": "bench", "productId": "P1", "firmwareId": "F900A", "userAppId": "",
            "e2romWords": 8192, "helpFile": "orvex-help"},
  "settings": {"hasOscilloscope": "1", "NewDeadBand": "1"},
  "brakeOutputs": [{"port": 0, "pin": 25, "name": "OUT0", "enableBits": 16, "inverted": false}],
  "parameters": [
    {"name": "In", "value": 2.8, "unit": "A", "show": "mA", "min": 0.01, "max": 20, "type": "real"},
    {"name": "R", "value": 0.1, "unit": "Ohm", "min": 0, "max": 100, "type": "real"},
    {"name": "KPI", "value": 12000.25, "min": -32768, "max": 32767, "type": "option16"}
  ],
  "variables": [{"name": "APOS", "unit": "rad", "show": "rot"}, {"name": "MER"}],
  "futureKey": {"kept": [1, 2, 3]}
})";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

TEST(SetupFile, RefusesBadInputNamingThePlace) {
    struct Case {
        std::string text;
        std::string place;
    } cases[] = {
        {"not json", "not valid JSON"},
        {Replace(kGood, "orvex-setup", "other"), "format"},
        {Replace(kGood, "\"version\": 1", "\"version\": 2"), "version"},
        {Replace(kGood, "\"name\": \"R\"", "\"name\": \"in\""), "parameters[1].name"},
        {Replace(kGood, "\"max\": 100", "\"max\": \"100\""), "parameters[1].max: not a number"},
        {Replace(kGood, "\"max\": 100,", ""), "parameters[1].max: missing"},
        {Replace(kGood, "\"max\": 100", "\"max\": 1e999"),
         "line 9, column 69: a number is not finite"},
        {Replace(kGood, "\"unit\": \"Ohm\"", "\"unit\": \"furlong\""), "parameters[1].unit"},
        {Replace(kGood, "\"type\": \"real\"", "\"type\": \"float\""), "parameters[0].type"},
        {Replace(kGood, "\"show\": \"mA\"", "\"show\": \"V\""), "parameters[0].show"},
        {Replace(kGood, "\"unit\": \"rad\"", "\"unit\": \"bogus\""), "variables[0].unit"},
        {Replace(kGood, "\"NewDeadBand\"", "\"HASOSCILLOSCOPE\""), "duplicate"},
        {Replace(kGood, "{\"name\": \"MER\"}", "{\"name\": \"apos\"}"), "variables[1].name"},
    };
    for (const auto& c : cases) {
        auto r = axis::ParseSetup(c.text, "f.json");
        EXPECT_FALSE(r.ok()) << c.place;
        EXPECT_NE(r.error.find(c.place), std::string::npos) << r.error;
        EXPECT_EQ(r.error.rfind("f.json", 0), 0u) << r.error;
    }
}

TEST(SetupFile, RefusesNestingDeeperThanLimit) {
    // Deep enough to overflow the stack of a reader that builds or copies it.
    const std::string deep = std::string(65000, '[') + std::string(65000, ']');
    const std::string cases[] = {
        Replace(kGood, "\"futureKey\": {\"kept\": [1, 2, 3]}",
                "\"futureKey\": " + deep + ", \"z\": 1"),
        Replace(kGood, "\"value\": 0.1", "\"value\": " + deep),
    };
    for (const std::string& text : cases) {
        auto r = axis::ParseSetup(text, "f.json");
        EXPECT_FALSE(r.ok());
        EXPECT_NE(r.error.find("f.json: line "), std::string::npos) << r.error;
        EXPECT_NE(r.error.find("nested deeper than 16 levels"), std::string::npos) << r.error;
    }
}

TEST(SetupFile, DuplicateKeysInAnyLetterCaseAreRefusedWithTheirLine) {
    auto r = axis::ParseSetup(Replace(kGood, "\"NewDeadBand\"", "\"HASOSCILLOSCOPE\""), "f.json");
    EXPECT_EQ(r.error, "f.json: line 5, column 56: duplicate key \"HASOSCILLOSCOPE\"");
}

TEST(SetupFile, ValuesOutsideTheirLimitsLoadAsStoredWithAWarning) {
    auto r = axis::ParseSetup(Replace(kGood, "\"value\": 0.1", "\"value\": 500"));
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.setup->GetParameterValueInBaseUnit("R"), 500);
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_NE(r.warnings[0].find("parameters[1]"), std::string::npos);
    auto inverted = axis::ParseSetup(Replace(kGood, "\"min\": 0,", "\"min\": 200,"));
    ASSERT_TRUE(inverted.ok());
    EXPECT_NE(inverted.warnings.at(0).find("minimum"), std::string::npos);
}

TEST(SetupFile, LoadThenSaveIsStable) {
    auto first = axis::ParseSetup(kGood);
    ASSERT_TRUE(first.ok()) << first.error;
    const std::string text = axis::SerializeSetup(*first.setup);
    auto second = axis::ParseSetup(text);
    ASSERT_TRUE(second.ok()) << second.error;
    EXPECT_EQ(axis::SerializeSetup(*second.setup), text);
    EXPECT_NE(text.find("\"futureKey\""), std::string::npos);  // unknown members kept
    // Numbers survive exactly.
    second.setup->SetParameterValueInBaseUnit("R", 0.1 + 0.2);
    auto third = axis::ParseSetup(axis::SerializeSetup(*second.setup));
    EXPECT_EQ(third.setup->GetParameterValueInBaseUnit("R"), 0.1 + 0.2);
    EXPECT_EQ(third.setup->GetParameterUnit("In"), "mA");
    EXPECT_EQ(third.setup->GetIOPinFromPort(0), 25);
}

class SaveTest : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("orvex-save-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        path_ = (dir_ / "axis.json").string();
    }
    void TearDown() override {
        axis::SetSaveInterruptHookForTesting(nullptr);
        fs::remove_all(dir_);
    }
    static std::string Read(const std::string& p) {
        std::ifstream in(p);
        std::stringstream b;
        b << in.rdbuf();
        return b.str();
    }
    fs::path dir_;
    std::string path_;
};

TEST_F(SaveTest, KeepsOneBackupAndSurvivesAnInterruptedSave) {
    auto setup = axis::ParseSetup(kGood).setup;
    ASSERT_EQ(axis::SaveSetupFile(*setup, path_), "");
    const std::string v1 = Read(path_);
    setup->SetParameterValueInBaseUnit("R", 1.5);
    ASSERT_EQ(axis::SaveSetupFile(*setup, path_), "");
    EXPECT_EQ(Read(path_ + ".bak"), v1);
    const std::string v2 = Read(path_);
    EXPECT_NE(v2, v1);

    axis::SetSaveInterruptHookForTesting([] { return false; });
    setup->SetParameterValueInBaseUnit("R", 2.5);
    EXPECT_NE(axis::SaveSetupFile(*setup, path_), "");
    EXPECT_EQ(Read(path_), v2);  // the old file is intact
    auto reloaded = axis::LoadSetupFile(path_);
    ASSERT_TRUE(reloaded.ok());
    EXPECT_EQ(reloaded.setup->GetParameterValueInBaseUnit("R"), 1.5);
}

TEST_F(SaveTest, AFolderOrAnUnreadableFileIsRefusedWithTheReason) {
    struct Case {
        std::string path;
        std::string error;
    } cases[] = {
        {dir_.string(), dir_.string() + ": cannot be opened: is a folder, not a file"},
        {(dir_ / "none.json").string(),
         (dir_ / "none.json").string() + ": cannot be opened: No such file or directory"},
    };
    for (const Case& c : cases) EXPECT_EQ(axis::LoadSetupFile(c.path).error, c.error);
    if (::geteuid() != 0) {  // root reads any file
        std::ofstream(path_) << kGood;
        fs::permissions(path_, fs::perms::none);
        EXPECT_EQ(axis::LoadSetupFile(path_).error,
                  path_ + ": cannot be opened: Permission denied");
    }
}

TEST_F(SaveTest, AnUnwritableFolderIsReported) {
    auto setup = axis::ParseSetup(kGood).setup;
    EXPECT_NE(axis::SaveSetupFile(*setup, (dir_ / "missing" / "x.json").string()), "");
    EXPECT_FALSE(axis::LoadSetupFile((dir_ / "none.json").string()).ok());
}

}  // namespace

namespace {

// The shipped setups are stored in the saved form, so opening and saving one in the
// tool never shows a spurious difference.
TEST(SetupFile, ShippedSetupsLoadCleanAndSaveByteForByte) {
    for (const char* name : {"demo.json", "minimal.json"}) {
        const std::string path = std::string(ORVEX_RESOURCE_DIR) + "/setups/" + name;
        auto r = axis::LoadSetupFile(path);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_TRUE(r.warnings.empty()) << name << ": " << r.warnings.front();
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_EQ(axis::SerializeSetup(*r.setup), text.str()) << name;
    }
}

}  // namespace
