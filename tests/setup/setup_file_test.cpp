#include "host/setup/setup_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/support/file_text.h"

namespace {

namespace fs = std::filesystem;
using orvex_test::ReadFileText;

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
        {Replace(kGood, "\"NewDeadBand\"", "\"HASOSCILLOSCOPE\""),
         "line 5, column 56: duplicate key \"HASOSCILLOSCOPE\""},
        {Replace(kGood, "{\"name\": \"MER\"}", "{\"name\": \"apos\"}"), "variables[1].name"},
    };
    for (const auto& c : cases) {
        auto r = axis::ParseSetup(c.text, "f.json");
        EXPECT_FALSE(r.ok()) << c.place;
        EXPECT_NE(r.error.find(c.place), std::string::npos) << r.error;
        EXPECT_EQ(r.error.rfind("f.json", 0), 0u) << r.error;
    }
}

// The parameter list is read entry by entry as the text is parsed. The first fault
// reported is still the one a reader of the whole document finds: a fault in the text
// anywhere, then the format and version, then the first fault in file order.
TEST(SetupFile, StreamedParameterListReportsTheFirstFaultInDocumentOrder) {
    const std::string head = R"({"format": "orvex-setup", "version": 1, )";
    const std::string good =
        R"({"name": "A", "value": 1, "unit": "A", "min": 0, "max": 2, "type": "real"})";
    const std::string bad_value =
        R"({"name": "A", "value": "x", "min": 0, "max": 1, "type": "real"})";
    const std::string deep = std::string(16, '[') + "1" + std::string(16, ']');
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        // Format and version come before any fault in the content, wherever they stand.
        {R"({"version": 1, "parameters": [)" + bad_value + R"(], "format": "other"})",
         R"(format: "other" is not "orvex-setup")"},
        {R"({"format": "orvex-setup", "version": "1", "parameters": [)" + bad_value + "]}",
         "(top).version: not a number"},
        // A fault in the text after a fault in the content still comes first.
        {head + R"("parameters": [)" + bad_value + "],\n \"variables\": [1,]}",
         "line 2, column 18: not valid JSON (syntax error while parsing value - unexpected "
         "']'; expected '[', '{', or a literal)"},
        {head + R"("parameters": [)" + bad_value + ",\n" +
             R"({"name": "J", "type": "real", "Type": "real"}]})",
         R"(line 2, column 36: duplicate key "Type")"},
        {head + R"("parameters": [{"name": "A", "value": )" + deep + "}]}",
         "line 1, column 92: nested deeper than 16 levels"},
        // An unknown member, kept for the save, is held to the same depth.
        {head + R"("futureKey": )" + deep + R"(, "parameters": []})",
         "line 1, column 69: nested deeper than 16 levels"},
        // Content faults in file order, before and after the list.
        {head + R"("drive": {"bogus": 1}, "parameters": [)" + bad_value + "]}",
         "drive.bogus: unknown field"},
        {head + R"("parameters": [)" + bad_value + R"(], "variables": [{"name": ""}]})",
         "parameters[0].value: not a number"},
        {head + R"("parameters": [)" + good +
             R"(, {"name": "a", "value": 1, "min": 0, "max": 1, )"
             R"("type": "real"}, {"name": "B", "unit": "furlong"}]})",
         R"(parameters[1].name: duplicate name "a")"},
        // Within one entry: an unknown member first, then the members in a fixed order.
        {head + R"("parameters": [{"name": 5, "colour": "red", "value": 1}]})",
         "parameters[0].colour: unknown field"},
        {head + R"("parameters": [{"": 1, "name": "I"}]})", "parameters[0].: unknown field"},
        {head + R"("parameters": [{"name": "I", "value": null, "min": true, "max": 1, )"
                R"("type": "real"}]})",
         "parameters[0].value: not a number"},
        {head + R"("parameters": [{"name": {"a": 1}, "value": 1, "min": 0, "max": 1}]})",
         "parameters[0].name: not a text"},
        {head + R"("parameters": [{"name": "A", "value": [1, {"a": 2}], "min": 0, "max": 1, )"
                R"("type": "real"}]})",
         "parameters[0].value: not a number"},
        {head + R"("parameters": [{"name": "I", "value": 1, "max": 1, "type": "real"}]})",
         "parameters[0].min: missing"},
        {head + R"("parameters": [{"name": "KPI", "value": 1, "unit": "A", "min": 0, "max": 1, )"
                R"("type": "option16"}]})",
         "parameters[0].unit: an option (drive register) has no unit"},
        {head + R"("parameters": [{"name": "I", "value": 1, "unit": "mA", "min": 0, "max": 1, )"
                R"("type": "real"}]})",
         R"(parameters[0].unit: "mA" is not a base unit (use "A"))"},
        // The list itself and its entries of the wrong kind.
        {head + R"("parameters": [)" + good + ", [2]]}", "parameters[1]: not an object"},
        {head + R"("parameters": {}})", "parameters: not an array"},
        {head + R"("parameters": 5})", "parameters: not an array"},
        {head + R"("variables": []})", "parameters: missing"},
        // A member of the top object in other letters would be saved beside the real one.
        {head + R"("setTings": {"a": "1"}, "parameters": []})",
         R"(setTings: unknown member; the member is written "settings")"},
        {head + R"("parameters": [], "Variables": []})",
         R"(Variables: unknown member; the member is written "variables")"},
        {head + R"("Parameters": []})",
         R"(Parameters: unknown member; the member is written "parameters")"},
        {R"([{"format": "orvex-setup"}])", "(top): not a JSON object"},
    };
    for (const auto& c : cases) {
        const auto r = axis::ParseSetup(c.text, "f.json");
        EXPECT_EQ(r.error, "f.json: " + c.error) << c.text;
        EXPECT_TRUE(r.warnings.empty()) << c.text;
    }
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

// A large setup of every value type, awkward numbers included, reads back to the same
// parameters and saves to the same text.
TEST(SetupFile, LargeSetupRoundTripsIdentically) {
    CMC_Setup setup;
    const double awkward[] = {0.1 + 0.2, -0.0, 1e-310, 4503599627370497.0, -1e300, 2.8};
    constexpr int kCount = 20'000;
    for (int i = 0; i < kCount; ++i) {
        const int type = i % 7;
        const bool option = type == kTypeOption16 || type == kTypeOption32;
        const char* unit = option ? "" : i % 3 == 0 ? "rad" : i % 3 == 1 ? "A" : "";
        const char* show = option ? "" : i % 3 == 0 ? "rot" : "";
        const double value = awkward[i % 6] * (i + 1);
        ASSERT_NE(setup.AddParameter((i % 2 ? "Kp_S_" : "kp_s_") + std::to_string(i), type, unit,
                                     show, value, -std::abs(value) - 1, std::abs(value) + 1),
                  nullptr);
    }
    const std::string text = axis::SerializeSetup(setup);
    const auto loaded = axis::ParseSetup(text);
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    const CMC_Parameters params = loaded.setup->GetParameters();
    ASSERT_EQ(params.GetParametersCount(), kCount);
    for (int i = 0; i < kCount; i += 997) {
        const CMC_Parameter* was = setup.GetParameters()[i];
        const CMC_Parameter* now = loaded.setup->FindParameter(was->GetName());
        ASSERT_EQ(now, params[i]);
        EXPECT_EQ(std::signbit(now->GetValueInBaseUnit()), std::signbit(was->GetValueInBaseUnit()));
        EXPECT_EQ(now->GetValueInBaseUnit(), was->GetValueInBaseUnit());
        EXPECT_EQ(now->GetType(), was->GetType());
        EXPECT_EQ(now->GetUnitName(), was->GetUnitName());
    }
    EXPECT_EQ(axis::SerializeSetup(*loaded.setup), text);
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
    fs::path dir_;
    std::string path_;
};

TEST_F(SaveTest, KeepsOneBackupAndSurvivesAnInterruptedSave) {
    auto setup = axis::ParseSetup(kGood).setup;
    ASSERT_EQ(axis::SaveSetupFile(*setup, path_), "");
    const std::string v1 = ReadFileText(path_);
    setup->SetParameterValueInBaseUnit("R", 1.5);
    ASSERT_EQ(axis::SaveSetupFile(*setup, path_), "");
    EXPECT_EQ(ReadFileText(path_ + ".bak"), v1);
    const std::string v2 = ReadFileText(path_);
    EXPECT_NE(v2, v1);

    axis::SetSaveInterruptHookForTesting([] { return false; });
    setup->SetParameterValueInBaseUnit("R", 2.5);
    EXPECT_NE(axis::SaveSetupFile(*setup, path_), "");
    EXPECT_EQ(ReadFileText(path_), v2);  // the old file is intact
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

// The shipped setups are stored in the saved form, so opening and saving one in the
// tool never shows a spurious difference.
TEST(SetupFile, ShippedSetupsLoadCleanAndSaveByteForByte) {
    for (const char* name : {"demo.json", "minimal.json"}) {
        const std::string path = std::string(ORVEX_RESOURCE_DIR) + "/setups/" + name;
        auto r = axis::LoadSetupFile(path);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_TRUE(r.warnings.empty()) << name << ": " << r.warnings.front();
        EXPECT_EQ(axis::SerializeSetup(*r.setup), ReadFileText(path)) << name;
    }
}

}  // namespace
