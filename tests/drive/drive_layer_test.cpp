// The host's drive layer over the simulated drive: reads and writes through the
// setup, program descriptors, program start, unsolicited message dispatch.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "host/drive/program_run.h"
#include "tests/drive/drive_fixture.h"

using drive_test::SimBench;

namespace {

std::string WriteTemp(const std::string& name, const std::string& text) {
    const auto dir = std::filesystem::temp_directory_path() / "orvex_drive_tests";
    std::filesystem::create_directories(dir);
    const auto path = (dir / name).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path;
}

}  // namespace

TEST(DriveAccess, VariableReadReachesTheDriveAndAFailedReadKeepsTheLinkError) {
    SimBench bench;
    CMC_Variable* mer = bench.setup->FindVariable("MER", 1);
    ASSERT_NE(mer, nullptr);
    ASSERT_EQ(mer->ReadFromChip(), 1);
    EXPECT_EQ(mer->GetValueInInternalUnit(), 0.0);

    bench.faults.FailNextRead("MER", "Timeout on the serial line.");
    EXPECT_EQ(mer->ReadFromChip(), 0);
    EXPECT_EQ(CMC_Comm::GetLastErrorText(), "Timeout on the serial line.");
    EXPECT_EQ(bench.setup->GetLastDriveError(), "Timeout on the serial line.");
    EXPECT_EQ(mer->ReadFromChip(), 1);  // the fault was for one read only

    // A variable the drive does not have gives the drive's own reason.
    CMC_Variable* bogus = bench.setup->AddVariable("NO_SUCH_VAR", "", "");
    EXPECT_EQ(bogus->ReadFromChip(), 0);
    EXPECT_NE(CMC_Comm::GetLastErrorText().find("NO_SUCH_VAR"), std::string::npos);
}

TEST(DriveAccess, OptionsGoToRegistersAndCommandsToTheDrive) {
    SimBench bench;
    ASSERT_EQ(bench.setup->FindParameter("KPI")->WriteToChip(), 1);
    double kpi = 0;
    ASSERT_TRUE(bench.drive.ReadRegister("KPI", kpi));
    EXPECT_EQ(kpi, 12000);

    EXPECT_EQ(bench.setup->ExecuteString("!CAP;ENCAPI1;"), 1);
    EXPECT_EQ(bench.setup->ExecuteString("!BOGUS;"), 0);
    EXPECT_NE(bench.setup->GetLastDriveError().find("BOGUS"), std::string::npos);
}

TEST(ProgramDescriptor, BrokenDescriptorsFailWithTheirReason) {
    struct Case {
        const char* text;
        const char* expected;  // part of the error text
    };
    const Case cases[] = {
        {"{not json", "is not valid JSON"},
        {R"({"format":"orvex-setup","version":1})", "is not a program descriptor"},
        {R"({"format":"orvex-program","version":2,"program":"P","variables":[]})",
         "unsupported version"},
        {R"({"format":"orvex-program","version":1,"variables":[]})", "names no program"},
        {R"({"format":"orvex-program","version":1,"program":"../etc","variables":[]})",
         "invalid program"},
        {R"({"format":"orvex-program","version":1,"program":"P"})", "lists no variables"},
        {R"({"format":"orvex-program","version":1,"program":"P","variables":[{"role":"input"}]})",
         "variables[0]: no name"},
        {R"({"format":"orvex-program","version":1,"program":"P","variables":[{"name":"STARTED","role":"output!"}]})",
         "unknown role"},
        {R"({"format":"orvex-program","version":1,"program":"P","variables":[{"name":"STARTED"},{"name":"started"}]})",
         "listed twice"},
        {R"({"format":"orvex-program","version":1,"program":"P","variables":[{"name":"In1"}]})",
         "does not list \"STARTED\""},
        // A damaged descriptor nested without end is refused at its line, never built.
        {"{\"format\":\"orvex-program\",\n\"x\":[[[[[[[[[[[[[[[[[[[[1]]]]]]]]]]]]]]]]]]]]}",
         "is not valid JSON (line 2, column 12: nested deeper than 8 levels)"},
        {R"({"format":"orvex-program","format":"orvex-program"})", "duplicate key \"format\""},
        {"[]", "is not a JSON object"},
    };
    for (const auto& c : cases) {
        CMC_CoffFormat program;
        program.SetFileName(WriteTemp("broken.json", c.text));
        EXPECT_EQ(program.ReadCoff(), 0) << c.text;
        EXPECT_NE(program.GetErrorText().find(c.expected), std::string::npos)
            << c.text << " -> " << program.GetErrorText();
        EXPECT_FALSE(program.IsLoaded());
    }
    CMC_CoffFormat missing;
    missing.SetFileName("/nonexistent/X.json");
    EXPECT_EQ(missing.ReadCoff(), 0);
    EXPECT_NE(missing.GetErrorText().find("cannot be opened"), std::string::npos);
}

TEST(ProgramDescriptor, ProgramPathAcceptsOnlyPlainNames) {
    const std::string saved = axis::ProgramDirectory();
    axis::SetProgramDirectory("/p");
    EXPECT_EQ(axis::ProgramPath("VDC_Detection_Test"), "/p/VDC_Detection_Test.json");
    for (const char* bad : {"", "../x", "a/b", "a.b", "a b", "x\\y"})
        EXPECT_EQ(axis::ProgramPath(bad), "") << bad;
    axis::SetProgramDirectory(saved);
}

TEST(ProgramVariables, UnlistedOrUnloadedVariablesAreRefusedBeforeTheDrive) {
    SimBench bench;
    CMC_CoffFormat program;
    double value = 0;
    std::string error;
    program.SetFileName(axis::ProgramPath("VDC_Detection_Test"));
    EXPECT_FALSE(axis::ReadProgramVariable(bench.setup.get(), &program, "STARTED", value, error));
    EXPECT_NE(error.find("has not been read"), std::string::npos) << error;

    ASSERT_EQ(program.ReadCoff(), 1);
    EXPECT_FALSE(axis::WriteProgramVariable(bench.setup.get(), &program, "In1", 5, error));
    EXPECT_EQ(error, "\"In1\" is not a variable of the drive program \"VDC_Detection_Test\".");
    EXPECT_FALSE(
        axis::WriteProgramVariable(bench.setup.get(), &program, "STARTED", std::nan(""), error));
    EXPECT_TRUE(axis::ReadProgramVariable(bench.setup.get(), &program, "started", value, error));

    bench.faults.FailNextRead("STARTED", "Checksum error.");
    EXPECT_FALSE(axis::ReadProgramVariable(bench.setup.get(), &program, "STARTED", value, error));
    EXPECT_EQ(error, "Checksum error.");
}

TEST(ProgramStart, WritesEveryOptionThenStartsTheNamedProgram) {
    SimBench bench;
    bench.setup->FindParameter("SFTKPI")->SetValueInBaseUnit(7);
    CMC_CoffFormat program;
    program.SetFileName(axis::ProgramPath("VDC_Detection_Test"));
    ASSERT_EQ(program.ReadCoff(), 1);
    std::string error;
    ASSERT_TRUE(
        axis::StartDriveProgram(bench.setup.get(), "VDC_Detection_Test", &program, nullptr, error))
        << error;
    double value = 0;
    ASSERT_TRUE(bench.drive.ReadRegister("SFTKPI", value));
    EXPECT_EQ(value, 7);
    ASSERT_TRUE(bench.drive.ReadRegister("MECRESL", value));
    EXPECT_EQ(value, 4000);
    bool running = false;
    ASSERT_TRUE(bench.comm.IsProgramRunning(running));
    EXPECT_TRUE(running);

    // A descriptor not read yet is read by the start; one that cannot be read stops it.
    CMC_CoffFormat unread;
    EXPECT_TRUE(
        axis::StartDriveProgram(bench.setup.get(), "VDC_Detection_Test", &unread, nullptr, error))
        << error;
    EXPECT_TRUE(unread.IsLoaded());
    CMC_CoffFormat missing;
    missing.SetFileName("/nonexistent/VDC_Detection_Test.json");
    EXPECT_FALSE(
        axis::StartDriveProgram(bench.setup.get(), "VDC_Detection_Test", &missing, nullptr, error));
    EXPECT_NE(error.find("cannot be opened"), std::string::npos) << error;

    // The descriptor must be the program's own.
    EXPECT_FALSE(axis::StartDriveProgram(bench.setup.get(), "Analogue_Reference_Test", &program,
                                         nullptr, error));
    EXPECT_NE(error.find("not \"Analogue_Reference_Test\""), std::string::npos) << error;
    // A failed option write stops the start and names the option.
    bench.faults.FailNextWrite("KPI", "Line busy.");
    EXPECT_FALSE(
        axis::StartDriveProgram(bench.setup.get(), "VDC_Detection_Test", &program, nullptr, error));
    EXPECT_EQ(error, "Writing the option \"KPI\" failed: Line busy.");
    bench.faults.FailNextExecute("Program memory full.");
    EXPECT_FALSE(
        axis::StartDriveProgram(bench.setup.get(), "VDC_Detection_Test", &program, nullptr, error));
    EXPECT_EQ(error, "Program memory full.");
}

TEST(UnsolicitedMessages, HandlersAreAskedInOrderUntilOneTakesTheMessage) {
    SimBench bench;
    int first_seen = 0, second_seen = 0, nested = -1;
    std::vector<std::uint16_t> tags;
    const int first =
        CMC_Comm::RegisterReceiveUnsolicitedMsgHandler([&](const std::uint16_t* w, std::size_t n) {
            ++first_seen;
            nested = CMC_Comm::CheckForUnrequestedMessages();  // re-entry does nothing
            return n > 2 && w[2] == 0xE900 ? 0xE900 : 0;       // passes scope frames on
        });
    const int second =
        CMC_Comm::RegisterReceiveUnsolicitedMsgHandler([&](const std::uint16_t* w, std::size_t n) {
            ++second_seen;
            if (n > 2) tags.push_back(w[2]);
            return 0;
        });
    ASSERT_TRUE(bench.comm.ConfigureScope({"AD5"}, 1));
    bench.Run(0.01);
    const int taken = CMC_Comm::CheckForUnrequestedMessages();
    EXPECT_GT(taken, 0);
    EXPECT_EQ(first_seen, taken);
    EXPECT_EQ(second_seen, taken);
    EXPECT_EQ(nested, 0);
    for (auto tag : tags) EXPECT_EQ(tag, 0xE900);

    CMC_Comm::UnregisterReceiveUnsolicitedMsgHandler(first);
    CMC_Comm::UnregisterReceiveUnsolicitedMsgHandler(second);
    bench.Run(0.005);
    EXPECT_EQ(CMC_Comm::CheckForUnrequestedMessages(), 0);  // nobody takes them now
    EXPECT_EQ(first_seen, taken);

    // A dialog's own handler is asked first.
    int own = 0;
    bench.Run(0.005);
    EXPECT_GT(CMC_Comm::CheckForUnrequestedMessages([&](const std::uint16_t*, std::size_t) {
                  ++own;
                  return 0;
              }),
              0);
    EXPECT_GT(own, 0);
}
