// axishost's --drive option: which drive a choice connects, and refusals.

#include <gtest/gtest.h>

#include "app/drive_connection.h"
#include "host/drive/comm.h"
#include "host/setup/setup.h"
#include "host/setup/setup_file.h"

TEST(DriveOption, ChoicesConnectTheNamedScenarioOrNothing) {
    struct Case {
        const char* choice;
        bool ok;
        const char* described_or_error;  // part of the description or the error
    };
    const Case cases[] = {
        {"sim", true, "simulated drive (default.json)"},
        {"sim:short_circuit", true, "simulated drive (short_circuit.json)"},
        {"sim:" ORVEX_RESOURCE_DIR "/sim/enable_inactive.json", true, "enable_inactive.json"},
        {"none", true, "none"},
        {"sim:", false, "needs a scenario"},
        {"sim:no_such_scenario", false, "no_such_scenario.json"},
        {"serial", false, "not \"serial\""},
    };
    for (const auto& c : cases) {
        axishost::DriveConnection drive;
        std::string error;
        EXPECT_EQ(drive.Open(c.choice, error), c.ok) << c.choice << ": " << error;
        const std::string& text = c.ok ? drive.Description() : error;
        EXPECT_NE(text.find(c.described_or_error), std::string::npos) << c.choice << " -> " << text;
    }
}

TEST(DriveOption, AttachedSimulatedDriveAnswersAndNoneDoesNot) {
    auto loaded = axis::ParseSetup(
        R"({"format":"orvex-setup","version":1,"parameters":[],"variables":[{"name":"MER"}]})");
    ASSERT_TRUE(loaded.ok()) << loaded.error;
    auto setup = std::move(loaded.setup);
    {
        axishost::DriveConnection drive;
        std::string error;
        ASSERT_TRUE(drive.Open("sim", error));
        drive.Attach(setup.get());
        EXPECT_EQ(setup->FindVariable("MER", 1)->ReadFromChip(), 1);
        drive.Detach(setup.get());
    }
    axishost::DriveConnection none;
    std::string error;
    ASSERT_TRUE(none.Open("none", error));
    none.Attach(setup.get());
    EXPECT_EQ(setup->FindVariable("MER", 1)->ReadFromChip(), 0);
    EXPECT_EQ(setup->GetLastDriveError(), "No drive connected.");
}

TEST(DriveOption, TakesTheLastDriveOptionOutOfTheArguments) {
    std::vector<std::string> args = {"vdc", "--drive", "none", "setup.json",
                                     "--drive=sim:short_circuit"};
    std::string choice = "sim", error;
    ASSERT_TRUE(axishost::TakeDriveOption(args, choice, error));
    EXPECT_EQ(choice, "sim:short_circuit");
    EXPECT_EQ(args, (std::vector<std::string>{"vdc", "setup.json"}));
    std::vector<std::string> dangling = {"vdc", "--drive"};
    EXPECT_FALSE(axishost::TakeDriveOption(dangling, choice, error));
}
