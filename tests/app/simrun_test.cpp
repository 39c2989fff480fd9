// The command-line tool, as a user calls it.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/support/command.h"

namespace {

using Result = orvex_test::CommandResult;

// Runs the tool; with `errors` its stderr is read too, else dropped.
Result Simrun(const std::string& args, bool errors = false) {
    return orvex_test::RunCommand(std::string(ORVEX_BIN_DIR) + "/simrun " + args +
                                  (errors ? " 2>&1" : " 2>/dev/null"));
}

const std::string kFiles = std::string("--scenario ") + ORVEX_RESOURCE_DIR +
                           "/sim/default.json --setup " + ORVEX_RESOURCE_DIR +
                           "/../tests/simdrive/data/test_setup.json ";

TEST(Simrun, CarriesTheDriveStateFromStepToStep) {
    const Result r = Simrun(kFiles +
                            "Initial_Positioning_Test In1=4095 --then Ident_R_or_Rs In1=4095 "
                            "RefTest=@REFTST_V --log 1:50:1:IQ");
    ASSERT_EQ(r.code, 0);
    const auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["runs"].size(), 2u);
    const auto& first = j["runs"][0];
    const auto& second = j["runs"][1];
    EXPECT_TRUE(first["finished"].get<bool>());
    EXPECT_EQ(second["inputs"]["RefTest"], first["drive"]["REFTST_V"]);
    EXPECT_EQ(second["outputs"]["STARTED"], 1.0);
    EXPECT_EQ(second["log"]["variables"], nlohmann::json::array({"IQ"}));
    EXPECT_EQ(second["log"]["points"].size(), 50u);
    EXPECT_EQ(second["drive"]["MER"], 0.0);
}

TEST(Simrun, RefusesBadInputWithExitCodeTwo) {
    // What the command line itself refuses is read in simrun_command_line_test; here
    // one such refusal, and those only the run can tell.
    const char* bad[] = {"Not_A_Program", "Ident_R_or_Rs RefTest=@2:REFTST_V",
                         "VDC_Detection_Test --bogus"};
    for (const char* args : bad) EXPECT_EQ(Simrun(kFiles + args).code, 2) << args;
    EXPECT_EQ(Simrun("--scenario /nonexistent.json --setup x.json VDC_Detection_Test").code, 2);
    const Result help = Simrun("--help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--then"), std::string::npos);
}

// simrun reads setups with the loader axishost uses: a bad setup gets the message
// axishost gives it, and exit code 2 (not an abort, not a silent acceptance).
TEST(Simrun, ReadsTheSetupAsAxishostDoes) {
    const std::string scenario = std::string(ORVEX_RESOURCE_DIR) + "/sim/default.json";
    struct Case {
        std::string setup;
        std::string message;
    } cases[] = {
        {R"({"format": "orvex-setup", "version": 1, "parameters": [{"name": "A", "value": 1,
             "min": 0, "max": 2, "type": 7}]})",
         "parameters[0].type: not a text"},
        {R"({"format": "orvex-setup", "version": 2, "parameters": []})",
         "version: 2.0 is not a supported version (1)"},
        {R"({"format": "other", "version": 1, "parameters": []})", "format: \"other\" is not"},
        {R"({"format": "orvex-setup", "version": 1, "parameters": [
             {"name": "KPI", "value": 1, "min": 0, "max": 2, "type": "option16"},
             {"name": "kpi", "value": 1, "min": 0, "max": 2, "type": "option16"}]})",
         "parameters[1].name: duplicate name \"kpi\""},
        {"{\n\"format\": }", "line 2, column 11: not valid JSON"},
    };
    for (const Case& c : cases) {
        const std::string path = testing::TempDir() + "simrun_setup.json";
        std::ofstream(path) << c.setup;
        const Result r =
            Simrun("--scenario " + scenario + " --setup " + path + " VDC_Detection_Test", true);
        EXPECT_EQ(r.code, 2) << c.message;
        EXPECT_NE(r.out.find("simrun: " + path + ": "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    }
}

TEST(Simrun, RefusesALoggerBeyondTheDriveBuffer) {
    // 200 variables x a million points would take gigabytes; the drive's buffer says no.
    std::string vars = "IQ";
    for (int i = 0; i < 199; ++i) vars += ",IQ";
    const Result r = Simrun(kFiles + "VDC_Detection_Test --log 1:1000000:1:" + vars, true);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.out.find("simrun: --log: The logger buffer holds 1048576 values"),
              std::string::npos)
        << r.out;
}

}  // namespace
