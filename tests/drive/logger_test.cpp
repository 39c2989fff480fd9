// The data logger over the simulated drive: settings, the recording of a run, the
// point reader, buffer limits and files.

#include "host/drive/logger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/drive/program_run.h"
#include "tests/drive/drive_fixture.h"

using drive_test::SimBench;

namespace {

// Runs the (power-free, endless) analogue reference program with the logger armed
// until the buffer is full.
void RecordAnalogueInput(SimBench& bench, CMC_SingleAxisLogger& logger) {
    std::string error;
    ASSERT_TRUE(axis::StartDriveProgram(bench.setup.get(), "Analogue_Reference_Test", nullptr,
                                        &logger, error))
        << error;
    bool complete = false;
    for (int i = 0; i < 2000 && !complete; ++i) {
        bench.Run(0.001);
        ASSERT_TRUE(bench.comm.IsLogComplete(complete));
    }
    ASSERT_TRUE(complete);
}

}  // namespace

TEST(SingleAxisLogger, PointReaderGivesTimeThenValuesInTheOrderAddedThenNull) {
    SimBench bench;
    CMC_SingleAxisLogger logger(bench.setup.get(), nullptr);
    ASSERT_EQ(logger.ChangeSettings(40, 1, 2), 1);
    ASSERT_EQ(logger.AddVariable("AD5"), 1);
    ASSERT_EQ(logger.AddVariable("MER"), 1);
    EXPECT_EQ(logger.AddVariable("AD5"), 0);  // once only
    EXPECT_EQ(logger.LocateItems(), 1);
    RecordAnalogueInput(bench, logger);

    ASSERT_EQ(logger.BeginUploadData(), 1) << logger.GetErrorText();
    EXPECT_EQ(logger.UploadInProgress(), 0);
    ASSERT_EQ(logger.GetUploadedPointsCount(), 40u);
    const double slow_period_s = bench.drive.core().slow_period_s();
    int n = 0;
    double first_time = 0, previous_time = -1;
    while (const double* p = logger.ReadPoint()) {
        // One point per second slow-loop sample.
        if (n == 0) {
            first_time = p[0];
        } else {
            EXPECT_NEAR(p[0] - previous_time, 2 * slow_period_s, 1e-9);
        }
        previous_time = p[0];
        EXPECT_EQ(p[2], 0.0);  // MER: no motion error
        ++n;
    }
    EXPECT_EQ(n, 40);
    EXPECT_NEAR(first_time, 0.0, 2 * slow_period_s);
    EXPECT_EQ(logger.ReadPoint(), nullptr);  // stays at the end
    logger.RewindPoints();
    EXPECT_NE(logger.ReadPoint(), nullptr);
    EXPECT_EQ(logger.EndUploadData(), 1);
}

TEST(SingleAxisLogger, ChangeSettingsDiscardsVariablesAndRefusesNonsense) {
    SimBench bench;
    CMC_SingleAxisLogger logger(bench.setup.get(), nullptr);
    ASSERT_EQ(logger.ChangeSettings(100, 2, 1), 1);
    logger.AddVariable("AD5");
    ASSERT_EQ(logger.ChangeSettings(50, 1, 1), 1);
    EXPECT_TRUE(logger.GetVariables().empty());
    EXPECT_EQ(logger.ChangeSettings(50, 3, 1), 0);
    EXPECT_EQ(logger.ChangeSettings(50, 1, 0), 0);
    EXPECT_EQ(logger.GetLogType(), 1);  // refused settings change nothing
    EXPECT_EQ(logger.GetPointsNo(), 50u);

    // Arming without variables fails rather than record nothing.
    std::string error;
    EXPECT_FALSE(axis::StartDriveProgram(bench.setup.get(), "Analogue_Reference_Test", nullptr,
                                         &logger, error));
    EXPECT_NE(error.find("no variables"), std::string::npos);
    // A variable the drive lacks is found before a run.
    logger.AddVariable("NOT_LOGGABLE");
    EXPECT_EQ(logger.LocateItems(), 0);
    EXPECT_NE(logger.GetErrorText().find("NOT_LOGGABLE"), std::string::npos);
}

TEST(SingleAxisLogger, CorrectPointsNoFitsTheDriveBuffer) {
    SimBench bench;
    CMC_SingleAxisLogger logger(bench.setup.get(), nullptr);
    logger.ChangeSettings(10000, 2, 1);
    for (const char* v : {"AD5", "MER", "var_u2", "IQ"}) logger.AddVariable(v);
    EXPECT_EQ(logger.CorrectPointsNo(), CMC_Logger::kDefaultBufferValues / 4);
    bench.setup->SetOption("LoggerBufferValues", "1000");
    EXPECT_EQ(logger.CorrectPointsNo(), 250u);
    logger.ChangeSettings(100, 2, 1);
    logger.AddVariable("AD5");
    EXPECT_EQ(logger.CorrectPointsNo(), 100u);  // fits: unchanged
}

TEST(SingleAxisLogger, SaveThenLoadGivesTheSamePoints) {
    SimBench bench;
    CMC_SingleAxisLogger logger(bench.setup.get(), nullptr);
    logger.ChangeSettings(10, 1, 1);
    logger.AddVariable("AD5");
    RecordAnalogueInput(bench, logger);
    ASSERT_EQ(logger.BeginUploadData(), 1);
    const auto path =
        (std::filesystem::temp_directory_path() / "orvex_logger_roundtrip.json").string();
    ASSERT_EQ(logger.Save(path), 1);

    CMC_SingleAxisLogger loaded(bench.setup.get(), nullptr);
    ASSERT_EQ(loaded.Load(path), 1) << loaded.GetErrorText();
    EXPECT_EQ(loaded.GetVariables(), logger.GetVariables());
    EXPECT_EQ(loaded.GetLogType(), 1);
    while (const double* a = logger.ReadPoint()) {
        const double* b = loaded.ReadPoint();
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(a[0], b[0]);
        EXPECT_EQ(a[1], b[1]);
    }
    EXPECT_EQ(loaded.ReadPoint(), nullptr);
    EXPECT_EQ(loaded.Load("/nonexistent.json"), 0);
    EXPECT_EQ(loaded.GetUploadedPointsCount(), 10u);  // a failed load changes nothing

    // A damaged file nested without end is refused at its place, never built.
    std::ofstream(path) << "{\"format\": \"orvex-log\", \"data\": " << std::string(100000, '[');
    EXPECT_EQ(loaded.Load(path), 0);
    EXPECT_NE(loaded.GetErrorText().find("line 1, column 48: nested deeper than 16 levels"),
              std::string::npos)
        << loaded.GetErrorText();
    EXPECT_EQ(loaded.GetUploadedPointsCount(), 10u);
}
