// What every test dialog shares: motion error texts and their precedence, the
// completion rule of a running program, drive reads that fail, the no-value marker,
// the close-time question.

#include <gtest/gtest.h>

#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <functional>

#include "host/drive/logger.h"
#include "host/drive/program_run.h"
#include "host/link/drive_facts.h"
#include "host/ui/modal_seam.h"
#include "identification/my_test_dlg.h"
#include "identification/result_texts.h"
#include "identification_bench.h"
#include "tests/drive/drive_fixture.h"

using drive_test::SimBench;
using identification_test::DemoBench;
using identification_test::ProgramRunning;

namespace {

// A minimal test dialog around one drive program, to reach the shared machinery.
class ProbeTestDlg : public CMyTestDlg {
  public:
    explicit ProbeTestDlg(CMC_Setup* setup, bool loop_tuning = false)
        : CMyTestDlg(setup, new QWidget, 1, nullptr, loop_tuning) {
        program.SetFileName(GetOutPathName("VDC_Detection_Test"));
        program.ReadCoff();
    }
    using CMyTestDlg::AskCloseConfirmation;
    using CMyTestDlg::CloseAnswer;
    using CMyTestDlg::PollProgram;
    using CMyTestDlg::ProgramState;
    using CMyTestDlg::ReadDriveVariable;
    using CMyTestDlg::WriteResult;
    const std::string& failure() const { return failure_text_; }
    bool running() const { return running_; }
    Outcome outcome() const { return outcome_; }
    void SetOutcome(Outcome outcome) { outcome_ = outcome; }
    void SetContinuous() { continuous_ = true; }
    bool stop_request() const { return stop_request_; }
    using CMyTestDlg::ReadPreliminaryResult;
    static constexpr const char* kSteps[] = {"Launching", "Waiting"};
    // The shared start: the first status, then the program launched with its inputs.
    bool StartWithInputs(std::initializer_list<ProgramInput> inputs) {
        SetStepTable(kSteps, 2);
        StartRun();
        return LaunchProgram("Initial_Positioning_Test", &program, inputs);
    }
    void Launch() { Start("VDC_Detection_Test", program); }
    void Start(const char* name, CMC_CoffFormat& p) {
        running_ = true;
        outcome_ = Outcome::kUndecided;
        ASSERT_EQ(ExecuteCode(name, &p, nullptr), 1);
    }

    CMC_CoffFormat program;
};

// A drive program that never starts: the ENABLE input is inactive, so a program
// that needs the power stage waits with STARTED = 0.
orvex::sim::Scenario EnableInactive() {
    orvex::sim::Scenario s;
    s.faults.enable_inactive = true;
    return s;
}

// Writes a descriptor for `program` listing `variables_json` into a temporary
// folder and returns the folder.
std::string WriteDescriptor(const std::string& program, const std::string& variables_json) {
    const auto dir = std::filesystem::temp_directory_path() / "orvex_identification_tests";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / (program + ".json"), std::ios::trunc)
        << R"({"format":"orvex-program","version":1,"program":")" << program << R"(","variables":)"
        << variables_json << "}";
    return dir.string();
}

}  // namespace

TEST(MotionErrors, TextsFollowTheBitPrecedenceWithinTheMask) {
    using namespace orvex::drive;
    constexpr std::uint16_t kAll = orvex::kMotionMaskAll;
    constexpr std::uint16_t kWithCurrent = orvex::kMotionMaskWithCurrent;
    constexpr std::uint16_t kWithoutCurrent = orvex::kMotionMaskWithoutCurrent;
    struct Case {
        int mer;
        std::uint16_t mask;
        const char* expected;  // null: no error
    };
    const Case cases[] = {
        {kMerShortCircuit, kAll, "Drive / Motor shortcircuit protection triggered."},
        {kMerShortCircuit | kMerEnableInactive, kWithCurrent,
         "Drive / Motor shortcircuit protection triggered."},  // short circuit wins
        {kMerEnableInactive, kWithCurrent, "Drive / Motor ENABLE input is in DISABLED state."},
        {kMerEnableInactive, kWithoutCurrent, nullptr},  // masked out
        {kMerControlError, kAll, "Drive / Motor control error protection triggered."},
        {kMerPositiveLimit | kMerNegativeLimit, kAll,
         "Drive / Motor stopped due to positive limit switch input triggered."},
        {kMerNegativeLimit, kAll,
         "Drive / Motor stopped due to negative limit switch input triggered."},
        {kMerCommandError, kAll, nullptr},  // a command error never fails a test
        {kMerI2t | kMerOverCurrent | kMerOverVoltage | kMerUnderVoltage, kAll,
         nullptr},  // nor do I2t, over-current or voltage bits
        {0, kAll, nullptr},
    };
    for (const auto& c : cases) {
        const char* text = orvex::MotionErrorText(c.mer, c.mask);
        if (!c.expected)
            EXPECT_EQ(text, nullptr) << std::hex << c.mer;
        else
            EXPECT_STREQ(text, c.expected) << std::hex << c.mer;
    }
}

TEST(MotionErrors, CheckReadsMerFromTheDriveAndFailsTheTest) {
    SimBench bench(EnableInactive());
    ProbeTestDlg dlg(bench.setup.get());
    dlg.Launch();
    bench.Run(0.005);
    EXPECT_TRUE(dlg.CheckMotionErrors(true, 0x0002));  // ENABLE bit outside the mask
    EXPECT_TRUE(dlg.running());
    EXPECT_FALSE(dlg.CheckMotionErrors(true, 0x8002));
    EXPECT_EQ(dlg.failure(), "Drive / Motor ENABLE input is in DISABLED state.");
    EXPECT_FALSE(dlg.running());
    EXPECT_EQ(dlg.outcome(), CMC_TestDlg::Outcome::kFailed);

    // MER that cannot be read is an internal error.
    ProbeTestDlg again(bench.setup.get());
    again.Launch();
    bench.faults.FailNextRead("MER", "Timeout.");
    EXPECT_FALSE(again.CheckMotionErrors(false, 0x0002));
    EXPECT_EQ(again.failure(), CMC_TestDlg::msc_pszErrInternal);
    EXPECT_TRUE(again.running());  // not asked to fail the test
}

TEST(CompletionRule, WaitsWhileNotStartedOrPoweredAndFinishesWhenStartedAndOff) {
    SimBench bench;
    ProbeTestDlg dlg(bench.setup.get());
    dlg.Launch();
    // The bus measurement takes 20 ms of drive time; STARTED stays 0 until then.
    EXPECT_EQ(dlg.PollProgram(dlg.program, 0x0002, false), ProbeTestDlg::ProgramState::kWaiting);
    bench.Run(0.010);
    EXPECT_EQ(dlg.PollProgram(dlg.program, 0x0002, false), ProbeTestDlg::ProgramState::kWaiting);
    bench.Run(0.015);
    EXPECT_EQ(dlg.PollProgram(dlg.program, 0x0002, false), ProbeTestDlg::ProgramState::kFinished);
}

TEST(CompletionRule, NotStartedKeepsCheckingMotionErrorsOnEveryTick) {
    // With the ENABLE input inactive a program that needs the power stage never
    // starts: STARTED stays 0 and MER holds the ENABLE bit.
    SimBench bench(EnableInactive());
    const std::string dir =
        WriteDescriptor("Initial_Positioning_Test", R"([{"name":"STARTED"},{"name":"In1"}])");
    ProbeTestDlg dlg(bench.setup.get());
    CMC_CoffFormat program;
    program.SetFileName(dir + "/Initial_Positioning_Test.json");
    ASSERT_EQ(program.ReadCoff(), 1) << program.GetErrorText();
    dlg.Start("Initial_Positioning_Test", program);
    for (int tick = 0; tick < 5; ++tick) {
        bench.Run(0.020);
        EXPECT_EQ(dlg.PollProgram(program, 0x0002, true), ProbeTestDlg::ProgramState::kWaiting);
    }
    EXPECT_TRUE(dlg.running());
    bench.Run(0.020);
    EXPECT_EQ(dlg.PollProgram(program, 0x8002, true), ProbeTestDlg::ProgramState::kFailed);
    EXPECT_EQ(dlg.failure(), "Drive / Motor ENABLE input is in DISABLED state.");
}

TEST(DriveReads, FailuresGiveTheirTextsAndEndTheTest) {
    SimBench bench;
    {
        ProbeTestDlg dlg(bench.setup.get());
        dlg.Launch();
        bench.faults.FailNextRead("var_u2", "No answer from the drive (timeout).");
        EXPECT_EQ(dlg.ReadDriveVariable("var_u2"), nullptr);
        EXPECT_EQ(dlg.failure(), "No answer from the drive (timeout).");
        EXPECT_EQ(dlg.outcome(), CMC_TestDlg::Outcome::kFailed);
    }
    {
        ProbeTestDlg dlg(bench.setup.get());
        dlg.Launch();
        EXPECT_EQ(dlg.ReadDriveVariable("NOT_IN_SETUP"), nullptr);
        EXPECT_EQ(dlg.failure(), CMC_TestDlg::msc_pszErrInternal);
    }
    {
        // STARTED unreadable: the completion rule fails with the link's text.
        ProbeTestDlg dlg(bench.setup.get());
        dlg.Launch();
        bench.faults.FailNextRead("STARTED", "Checksum error.");
        EXPECT_EQ(dlg.PollProgram(dlg.program, 0x0002, false), ProbeTestDlg::ProgramState::kFailed);
        EXPECT_EQ(dlg.failure(), "Checksum error.");
    }
}

TEST(TestDialogBase, OpeningSetsStartMinimumMoveToZeroExceptForLoopTuning) {
    SimBench bench;
    CMC_Parameter* p =
        bench.setup->AddParameter("ABSTART_MINMOVE", kTypeOption16, "", "", 12, 0, 65535);
    ASSERT_NE(p, nullptr);
    { ProbeTestDlg tuning(bench.setup.get(), /*loop_tuning=*/true); }
    EXPECT_EQ(p->GetValueInBaseUnit(), 12);
    { ProbeTestDlg identification(bench.setup.get()); }
    EXPECT_EQ(p->GetValueInBaseUnit(), 0);
    // A setup without it opens the same.
    auto bare = axis::ParseSetup(R"({"format":"orvex-setup","version":1,"parameters":[]})").setup;
    ProbeTestDlg plain(bare.get());
}

TEST(CloseConfirmation, AsksOnlyAfterSuccessAboutValuesThatPrintDifferently) {
    using orvex::ResultFormat;
    std::vector<orvex::ResultParameter> results = {
        {"Vdc", "Power supply", ResultFormat::kShortUpper, 48, 36.7}};
    EXPECT_FALSE(orvex::CloseConfirmationText(results, false));
    EXPECT_EQ(
        *orvex::CloseConfirmationText(results, true),
        "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
        "Power supply:\tOld = 48\tNew = 36.7\r\n"
        "\r\nDo you want to save the new value(s)? (Recommended)");
    // %G keeps six significant digits: 47.6000001 prints as 47.6.
    results[0] = {"Vdc", "Power supply", ResultFormat::kShortUpper, 47.6, 47.6000001};
    EXPECT_FALSE(orvex::CloseConfirmationText(results, true));

    struct Case {
        ResultFormat format;
        double value;
        const char* text;
    };
    const Case formats[] = {
        {ResultFormat::kFixed, 2.5, "2.500000"},
        {ResultFormat::kInteger, 3999.9, "3999"},
        {ResultFormat::kInteger, -0.5, "0"},
        {ResultFormat::kShortUpper, 1.5e-7, "1.5E-07"},
        {ResultFormat::kShortLower, 1.5e-7, "1.5e-07"},
        {ResultFormat::kShortLower, 1000, "1000"},
    };
    for (const auto& f : formats)
        EXPECT_EQ(orvex::FormatResultValue(f.format, f.value), f.text) << f.value;
}

TEST(CloseConfirmation, AnswersComeBackAndNoPutsTheOldValuesBack) {
    SimBench bench;
    ProbeTestDlg dlg(bench.setup.get());
    dlg.SetOutcome(CMC_TestDlg::Outcome::kSucceeded);
    CMC_Parameter* vdc = bench.setup->FindParameter("Vdc");
    vdc->SetValueInBaseUnit(36.7);
    const std::vector<orvex::ResultParameter> results = {
        {"Vdc", "Power supply", orvex::ResultFormat::kShortUpper, 48, 36.7}};

    axis::ScriptedModalSeam seam;
    seam.AnswerMessage(axis::kIdYes);
    seam.AnswerMessage(axis::kIdCancel);
    seam.AnswerMessage(axis::kIdNo);
    EXPECT_EQ(dlg.AskCloseConfirmation(results), ProbeTestDlg::CloseAnswer::kYes);
    EXPECT_EQ(vdc->GetValueInBaseUnit(), 36.7);
    EXPECT_EQ(dlg.AskCloseConfirmation(results), ProbeTestDlg::CloseAnswer::kCancel);
    EXPECT_EQ(vdc->GetValueInBaseUnit(), 36.7);
    EXPECT_EQ(dlg.AskCloseConfirmation(results), ProbeTestDlg::CloseAnswer::kNo);
    EXPECT_EQ(vdc->GetValueInBaseUnit(), 48);
    ASSERT_EQ(seam.Records().size(), 3u);
    EXPECT_EQ(seam.Records()[0].buttons, axis::MessageButtons::YesNoCancel);
    EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("; ").toStdString();
}

TEST(SaveGraph, AsksForAFileAndWritesTheLoggedPoints) {
    SimBench bench;
    CMC_SingleAxisLogger logger(bench.setup.get(), nullptr);
    axis::ScriptedModalSeam seam;
    EXPECT_EQ(logger.SaveGraph("CurrentTuning"), 0);  // nothing logged: no prompt
    EXPECT_TRUE(seam.Records().empty());

    logger.ChangeSettings(20, 2, 1);
    logger.AddVariable("AD5");
    std::string error;
    ASSERT_TRUE(axis::StartDriveProgram(bench.setup.get(), "Analogue_Reference_Test", nullptr,
                                        &logger, error));
    bench.Run(0.01);
    ASSERT_EQ(logger.BeginUploadData(), 1);
    const auto path = std::filesystem::temp_directory_path() / "orvex_save_graph.json";
    std::filesystem::remove(path);
    seam.AnswerFilePrompt(QString());  // cancelled
    EXPECT_EQ(logger.SaveGraph("CurrentTuning"), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
    seam.AnswerFilePrompt(QString::fromStdString(path.string()));
    EXPECT_EQ(logger.SaveGraph("CurrentTuning"), 1);
    CMC_SingleAxisLogger loaded(bench.setup.get(), nullptr);
    ASSERT_EQ(loaded.Load(path.string()), 1);
    EXPECT_EQ(loaded.GetUploadedPointsCount(), 20u);
    EXPECT_TRUE(seam.Problems().isEmpty()) << seam.Problems().join("; ").toStdString();
}

TEST(TestDialogBase, StopOfAContinuousTestOnlyRequestsTheStop) {
    SimBench bench;
    ProbeTestDlg dlg(bench.setup.get());
    dlg.SetContinuous();
    CMC_CoffFormat program;
    program.SetFileName(dlg.GetOutPathName("Analogue_Reference_Test"));
    dlg.Start("Analogue_Reference_Test", program);
    dlg.OnBtnStartStop();
    EXPECT_TRUE(dlg.stop_request());
    EXPECT_TRUE(dlg.running());  // the dialog ends it on its next tick
    EXPECT_TRUE(ProgramRunning(bench));
}

TEST(TestSteps, LaunchWritesTheInputsStartsTheProgramAndWaits) {
    struct Case {
        const char* what;
        std::function<void(DemoBench&)> break_it;
        const char* failure;  // null: launched
    };
    const Case cases[] = {
        {"launched", nullptr, nullptr},
        {"input refused", [](DemoBench& b) { b.faults.FailNextWrite("In1", "Write refused."); },
         "Write refused."},
        {"program not started",
         [](DemoBench& b) { b.faults.FailNextExecute("Program memory full."); },
         CMC_TestDlg::msc_pszErrInternal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DemoBench bench;
        if (c.break_it) c.break_it(bench);
        ProbeTestDlg dlg(bench.setup.get());
        dlg.program.SetFileName(dlg.GetOutPathName("Initial_Positioning_Test"));
        ASSERT_EQ(dlg.program.ReadCoff(), 1);
        EXPECT_EQ(dlg.StartWithInputs({{"In1", 1234}}), c.failure == nullptr);
        EXPECT_EQ(dlg.running(), c.failure == nullptr);
        EXPECT_EQ(dlg.IsTimerRunning(1), c.failure == nullptr);
        if (c.failure) {
            EXPECT_EQ(dlg.failure(), c.failure);
            continue;
        }
        EXPECT_EQ(dlg.StatusText(), "Waiting");
        double in1 = 0;
        ASSERT_TRUE(bench.drive.ReadVariable("In1", in1));
        EXPECT_EQ(in1, 1234);
    }
}

// Reads "In1" as every result variable is read: the no-value marker is no value.
TEST(TestSteps, PreliminaryResultNeedsTheTestCurrentReached) {
    struct Case {
        double in1;
        bool only_zero_fails;
        const char* failure;  // null: the reference voltage is read
    };
    const Case cases[] = {
        {812, false, nullptr},
        {0, false, CMC_TestDlg::msc_pszErrInZero},
        {-3, false, CMC_TestDlg::msc_pszErrInZero},
        {-3, true, nullptr},
        {0, true, CMC_TestDlg::msc_pszErrInZero},
        {axis::kNoValueMarker, false, CMC_TestDlg::msc_pszErrInternal},
    };
    for (const Case& c : cases) {
        DemoBench bench;
        ProbeTestDlg dlg(bench.setup.get());
        dlg.program.SetFileName(dlg.GetOutPathName("Initial_Positioning_Test"));
        ASSERT_EQ(dlg.program.ReadCoff(), 1);
        dlg.Start("Initial_Positioning_Test", dlg.program);
        ASSERT_TRUE(bench.drive.WriteVariable("In1", c.in1));
        double reference = 0;
        EXPECT_EQ(dlg.ReadPreliminaryResult(dlg.program, reference, c.only_zero_fails),
                  c.failure == nullptr)
            << c.in1;
        if (c.failure)
            EXPECT_EQ(dlg.failure(), c.failure) << c.in1;
        else
            EXPECT_EQ(dlg.outcome(), CMC_TestDlg::Outcome::kUndecided) << c.in1;
    }
}
