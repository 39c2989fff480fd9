// axishost edit FILE and axishost dialog NAME FILE: OK saves and keeps a backup, a
// trial run closes with Cancel, leaves a picture and writes nothing, and bad arguments
// or a missing display are errors that write nothing.
#include <QDir>
#include <QImage>

#include "tests/support/axishost_process.h"

namespace {

using orvex_test::Digest;
using AxishostEdit = orvex_test::AxishostProcessTest;

QStringList WithFile(QStringList args, const QString& file) {
    args.replaceInStrings("FILE", file);
    return args;
}

TEST_F(AxishostEdit, TrialRunCancelsSnapshotsAndWritesNothing) {
    struct Case {
        QStringList args;
        const char* picture;  // null: any picture
        int min_width;
    } const cases[] = {
        {{"edit", "FILE", "--drive", "none"}, "01-DriveSetup.png", 600},
        {{"dialog", "driveinfo", "FILE"}, "01-DriveInfo.png", 400},
        {{"dialog", "drivesetup", "FILE"}, nullptr, 0},
        {{"dialog", "advanced", "FILE"}, nullptr, 0},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const QByteArray before = Digest(file);
        const QString pictures = dir.filePath(QString("pictures%1").arg(++row));
        const Outcome run = Axishost(WithFile(c.args, file) +
                                     QStringList{"--auto", "cancel", "--snapshot", pictures});
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        if (c.args[0] == "edit") {
            EXPECT_TRUE(run.out.contains("not written")) << run.out.toStdString();
        }
        EXPECT_EQ(Digest(file), before);
        EXPECT_FALSE(QFile::exists(file + ".bak"));
        if (!c.picture) {
            EXPECT_GE(QDir(pictures).entryList({"*.png"}).size(), 1);
            continue;
        }
        const QImage picture(QDir(pictures).filePath(c.picture));
        ASSERT_FALSE(picture.isNull());
        EXPECT_GT(picture.width(), c.min_width);
    }
}

TEST_F(AxishostEdit, OkSavesAndKeepsABackup) {
    for (const QStringList& args : {QStringList{"edit", "FILE"}, {"dialog", "driveinfo", "FILE"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const QByteArray before = Digest(file);
        const Outcome run = Axishost(WithFile(args, file) + QStringList{"--auto", "ok"});
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains("saved")) << run.out.toStdString();
        EXPECT_EQ(Digest(file + ".bak"), before);
        QFile saved(file);
        ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
        EXPECT_TRUE(saved.readAll().contains("\"format\": \"orvex-setup\""));
    }
}

// Regression: a test dialog sets the start move aside while it is open; OK of the trial
// run saved it as 0 although no test had run.
TEST_F(AxishostEdit, ConfirmingATestDialogSavesTheStartMoveOfTheEditorsOk) {
    const Outcome run = Axishost({"dialog", "vdc", file, "--auto", "ok"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.contains("{\"name\": \"ABSTART_MINMOVE\", \"value\": 12.0,"))
        << text.constData();
}

TEST_F(AxishostEdit, BadArgumentsMissingFilesAndNoDisplayWriteNothing) {
    QFile in_the_way(dir.filePath("file-in-the-way"));
    ASSERT_TRUE(in_the_way.open(QIODevice::WriteOnly));
    in_the_way.close();
    struct Case {
        QStringList args;
        const char* says;
        bool display = true;
    } const cases[] = {
        {{"edit"}, "one setup file"},
        {{"edit", "/nonexistent/setup.json", "--auto", "cancel"}, "setup.json"},
        {{"edit", "FILE", "--auto", "maybe"}, "--auto takes cancel or ok"},
        {{"edit", "FILE", "--drive", "sim:nosuch", "--auto", "cancel"}, "nosuch"},
        {{"dialog", "driveinfo", "FILE", "--snapshot", in_the_way.fileName() + "/pictures",
          "--auto", "ok"},
         "--snapshot"},
        {{"dialog", "nosuch", "FILE", "--auto", "cancel"}, "known: driveinfo"},
        {{"dialog", "driveinfo", "FILE"}, "xvfb-run", false},
    };
    const QByteArray before = Digest(file);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        if (!c.display) env.remove("QT_QPA_PLATFORM");
        const Outcome run = Axishost(WithFile(c.args, file));
        EXPECT_EQ(run.code, 2) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
    }
    EXPECT_EQ(Digest(file), before);
}

}  // namespace
