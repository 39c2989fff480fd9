// axishost test NAME FILE: a test dialog run headless on the simulated drive's own
// clock, its JSON report, what it saves and its exit codes.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/axishost_process.h"

namespace {

using orvex_test::Digest;

class AxishostTest : public orvex_test::AxishostProcessTest {
  protected:
    struct Result {
        int code;
        std::string out, err;
    };
    Result Run(const QStringList& args) {
        env.remove("QT_QPA_PLATFORM");  // the command needs no display of its own
        const Outcome run = Axishost(args);
        return {run.code, run.out.toStdString(), run.err.toStdString()};
    }

    static nlohmann::json Parameter(const nlohmann::json& report, const std::string& name) {
        for (const auto& p : report["parameters"])
            if (p["name"] == name) return p;
        return {};
    }

    static double SavedValue(const QString& path, const std::string& name) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return -1;
        const auto j = nlohmann::json::parse(f.readAll().toStdString());
        for (const auto& p : j["parameters"])
            if (p["name"] == name) return p["value"].get<double>();
        return -1;
    }
};

TEST_F(AxishostTest, PassingTestReportsItsValuesOnStandardOutputAndSavesNothing) {
    const QByteArray before = Digest(file);
    const Result run = Run({"test", "vdc", file});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["test"], "vdc");
    EXPECT_EQ(report["outcome"], "passed");
    EXPECT_TRUE(report["failure"].is_null());
    ASSERT_EQ(report["identified"].size(), 1u);
    EXPECT_EQ(report["identified"][0]["name"], "Vdc");
    EXPECT_NEAR(report["identified"][0]["value"].get<double>(), 47.6, 0.05);
    EXPECT_EQ(report["identified"][0]["unit"], "V");
    const auto vdc = Parameter(report, "Vdc");
    EXPECT_EQ(vdc["old"], 48.0);
    EXPECT_NEAR(vdc["new"].get<double>(), 47.6, 0.05);  // Yes is the default answer
    EXPECT_GT(report["duration_s"].get<double>(), 0.0);
    EXPECT_LT(report["duration_s"].get<double>(), 1.0);
    EXPECT_EQ(report["drive_time"], "simulated");
    EXPECT_EQ(report["MER"], 0);
    EXPECT_EQ(report["saved"], false);
    EXPECT_EQ(Digest(file), before);
}

TEST_F(AxishostTest, SaveKeepsTheIdentifiedValuesOnlyWhenTheAnswerIsYes) {
    struct Case {
        const char* answer;
        bool saved;
    };
    for (const Case& c : {Case{"no", false}, Case{"yes", true}}) {
        SCOPED_TRACE(c.answer);
        const QByteArray before = Digest(file);
        const QString result = dir.filePath(QString("rl-%1.json").arg(c.answer));
        const Result run = Run({"test", "rl", file, "--answer", c.answer, "--save", "-o", result,
                                "--drive", "sim:default"});
        ASSERT_EQ(run.code, 0) << run.err;
        QFile f(result);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const auto report = nlohmann::json::parse(f.readAll().toStdString());
        EXPECT_EQ(report["outcome"], "passed");
        EXPECT_EQ(report["saved"], c.saved);
        EXPECT_LT(report["duration_s"].get<double>(), 10.0);
        const auto r = Parameter(report, "R");
        EXPECT_EQ(r["old"], 1.0);
        EXPECT_EQ(r["unit"], "Ohm");
        if (c.saved) {
            EXPECT_NEAR(r["new"].get<double>(), 1.12, 0.03);
            EXPECT_NE(Digest(file), before);
            EXPECT_TRUE(QFile::exists(file + ".bak"));
            EXPECT_NEAR(SavedValue(file, "R"), 1.12, 0.03);
            EXPECT_EQ(SavedValue(file, "Vdc"), 48.0);  // the measured bus is not kept
        } else {
            EXPECT_EQ(r["new"], 1.0);  // No put the old value back
            EXPECT_EQ(Digest(file), before);
        }
    }
}

TEST_F(AxishostTest, FailedTestExitsWithOneAndNamesTheCause) {
    const Result run = Run({"test", "phase", file, "--drive", "sim:phase_b_open"});
    EXPECT_EQ(run.code, 1) << run.err;
    const auto report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["outcome"], "failed");
    EXPECT_NE(report["failure"].get<std::string>().find("one of the motor phases is disconnected"),
              std::string::npos);
    ASSERT_EQ(report["identified"].size(), 2u);  // the two currents say which phase
    EXPECT_EQ(report["identified"][1]["name"], "IB");
}

TEST_F(AxishostTest, ShortCircuitReportsTheMotionErrorRegister) {
    const Result run = Run({"test", "inertia", file, "--drive", "sim:short_circuit"});
    EXPECT_EQ(run.code, 1) << run.err;
    const auto report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["failure"], "Drive / Motor shortcircuit protection triggered.");
    EXPECT_EQ(report["MER"].get<int>() & 0x0002, 0x0002);
}

// The tests of the production line run headless; the continuous encoder test (the
// operator turns the shaft) is stopped by the runner as a user would.
TEST_F(AxishostTest, EncoderCurrentAndAngleTestsRunHeadlessOnTheDefaultBench) {
    for (const char* name : {"encoder", "current", "angle"}) {
        const Result run = Run({"test", name, file});
        EXPECT_EQ(run.code, 0) << name << ": " << run.err << run.out;
        const auto report = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_FALSE(report.is_discarded()) << name;
        EXPECT_EQ(report["test"], name);
        EXPECT_EQ(report["outcome"], "passed") << name << ": " << report.dump();
    }
}

// The line count test watches the revolution tick by tick, and the analogue monitor
// gives its verdict at the runner's Stop, with the readings in the report.
TEST_F(AxishostTest, ResolutionAndAnalogueTestsRunHeadless) {
    struct Case {
        const char* name;
        const char* bench;
        int code;
        const char* value;  // an identified value the report must hold
    };
    const Case cases[] = {
        {"resolution", "default", 0, "No_encoder_lines"},
        {"resolution", "encoder_reversed", 1, "counts per revolution"},
        {"analogue", "default", 0, "highest voltage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " on " + c.bench);
        const Result run = Run({"test", c.name, file, "--drive", QString("sim:") + c.bench});
        EXPECT_EQ(run.code, c.code) << run.err;
        const auto report = nlohmann::json::parse(run.out, nullptr, false);
        ASSERT_FALSE(report.is_discarded()) << run.out;
        double value = NAN;
        for (const auto& v : report["identified"])
            if (v["name"] == c.value) value = v["value"].get<double>();
        const bool lines = std::string(c.name) == "resolution";
        if (lines && c.code == 0) {
            EXPECT_EQ(value, 1000);
        } else if (lines) {
            EXPECT_LT(value, 0);  // counted backwards
        } else {
            EXPECT_GT(value, -10.01);
            EXPECT_LT(value, 10.01);
            EXPECT_NEAR(report["duration_s"].get<double>(), 1.0, 0.05);
        }
    }
}

TEST_F(AxishostTest, BadUsageExitsWithTwoAndSaysWhy) {
    struct Case {
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {{"test", "nosuchtest", "FILE"}, "known: phase, encoder, resolution, rl"},
        {{"test", "vdc"}, "test takes NAME FILE"},
        {{"test", "vdc", "FILE", "--answer", "maybe"}, "--answer takes yes or no"},
        {{"test", "vdc", "FILE", "-o"}, "-o needs a file name"},
        {{"test", "vdc", "FILE", "--fast"}, "unknown option --fast"},
        {{"test", "vdc", "FILE", "--drive", "sim:nosuchbench"}, "nosuchbench"},
        {{"test", "vdc", "/nonexistent/setup.json"}, "/nonexistent/setup.json"},
    };
    for (const Case& c : cases) {
        QStringList args = c.args;
        args.replaceInStrings("FILE", file);
        const Result run = Run(args);
        EXPECT_EQ(run.code, 2) << args.join(' ').toStdString();
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

}  // namespace
