// simrun's command line, read as the tool reads it: what is refused and why.

#include <gtest/gtest.h>

#include <sstream>

#include "app/simrun/command_line.h"

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

const std::string kFiles = "--scenario s.json --setup x.json ";

TEST(SimrunCommandLine, RefusesUnboundedOrMalformedStepsSayingWhy) {
    struct Case {
        std::string args;
        std::string error;
    } cases[] = {
        {"P --for inf", "--for: \"inf\" is not a finite number"},
        {"P --for nan", "--for: \"nan\" is not a finite number"},
        {"P --for 1e400", "--for: \"1e400\" is not a finite number"},
        {"P --for 0", "--for: 0 s is outside the run a step may take (above 0 up to 600 s)"},
        {"P --for -1", "--for: -1 s is outside the run a step may take (above 0 up to 600 s)"},
        {"P --for 1e6", "--for: 1e6 s is outside the run a step may take (above 0 up to 600 s)"},
        {"P --for 2s", "--for: \"2s\" is not a number"},
        {"P --then", "--then at the end: no step follows it"},
        {"P --then --then Q", "--then without a step before it"},
        {"--then P", "--then before the first step"},
        {"P --log 1:1e20:1:IQ", "--log points: 1e20 is outside 1 to 2147483647"},
        {"P --log 1:10.5:1:IQ", "--log points: \"10.5\" is not a whole number"},
        {"P --log 1:10:0:IQ", "--log divider: 0 is outside 1 to 2147483647"},
        {"P --log 3:10:1:IQ", "--log type: 3 is outside 1 to 2"},
        {"P --log 1:10:1:", "--log 1:10:1:: no variable"},
        {"P --log 1:10", "--log 1:10: expected TYPE:POINTS:DIVIDER:VAR[,VAR]..."},
        {"P In1=nan", "In1: \"nan\" is not a finite number"},
        {"P In1=12abc", "In1: \"12abc\" is not a number"},
        {"P In1", "\"In1\": expected NAME=VALUE"},
        {"P In1=@9e99:X", "In1 step: 9e99 is outside 1 to 2147483647"},
        {"P In1=@0:X", "In1 step: 0 is outside 1 to 2147483647"},
        {"P In1=@", "In1: @ needs a variable name"},
        {"P --bogus", "unknown option --bogus (see --help)"},
        {"P --for", "--for needs a value"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(simrun::ParseCommandLine(Words(kFiles + c.args), error)) << c.args;
        EXPECT_EQ(error, c.error) << c.args;
    }
    std::string error;
    EXPECT_FALSE(simrun::ParseCommandLine(Words("P"), error));
    EXPECT_EQ(error, "--scenario is required (see --help)");
}

TEST(SimrunCommandLine, ReadsStepsInputsLoggerAndDuration) {
    std::string error;
    const auto line = simrun::ParseCommandLine(
        Words(kFiles + "A In1=4095 --for 600 --then B X=@Y Z=@1:W --log 2:100:3:IQ,,ID"), error);
    ASSERT_TRUE(line) << error;
    ASSERT_EQ(line->steps.size(), 2u);
    EXPECT_EQ(line->steps[0].program, "A");
    EXPECT_EQ(line->steps[0].inputs.at(0).value, 4095.0);
    EXPECT_EQ(line->steps[0].for_s, 600.0);
    const auto& b = line->steps[1];
    EXPECT_EQ(b.inputs.at(0).variable, "Y");
    EXPECT_EQ(b.inputs.at(0).from_step, 0);
    EXPECT_EQ(b.inputs.at(1).from_step, 1);
    ASSERT_TRUE(b.log);
    EXPECT_EQ(b.log->log_type, 2);
    EXPECT_EQ(b.log->points, 100);
    EXPECT_EQ(b.log->divider, 3);
    EXPECT_EQ(b.log->variables, (std::vector<std::string>{"IQ", "ID"}));
    EXPECT_TRUE(simrun::ParseCommandLine(Words("x --help"), error)->help);
}

}  // namespace
