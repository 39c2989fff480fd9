// The command-line tool, as a user calls it.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

namespace {

struct Result {
    int exit_code;
    std::string out;
};

Result Simrun(const std::string& args) {
    const std::string command = std::string(ORVEX_BIN_DIR) + "/simrun " + args + " 2>/dev/null";
    Result r{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe)) r.out += buffer.data();
    const int status = pclose(pipe);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

const std::string kFiles = std::string("--scenario ") + ORVEX_RESOURCE_DIR +
                           "/sim/default.json --setup " + ORVEX_RESOURCE_DIR +
                           "/../tests/simdrive/data/test_setup.json ";

TEST(Simrun, CarriesTheDriveStateFromStepToStep) {
    const Result r = Simrun(kFiles +
                            "Initial_Positioning_Test In1=4095 --then Ident_R_or_Rs In1=4095 "
                            "RefTest=@REFTST_V --log 1:50:1:IQ");
    ASSERT_EQ(r.exit_code, 0);
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
    const char* bad[] = {"Not_A_Program",
                         "VDC_Detection_Test In1",
                         "VDC_Detection_Test --then --then",
                         "Ident_R_or_Rs RefTest=@2:REFTST_V",
                         "VDC_Detection_Test --log 3:10",
                         "VDC_Detection_Test --bogus"};
    for (const char* args : bad) EXPECT_EQ(Simrun(kFiles + args).exit_code, 2) << args;
    EXPECT_EQ(Simrun("--scenario /nonexistent.json --setup x.json VDC_Detection_Test").exit_code,
              2);
    const Result help = Simrun("--help");
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("--then"), std::string::npos);
}

}  // namespace
