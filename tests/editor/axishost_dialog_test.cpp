// axishost dialog NAME FILE: a trial run closes the dialog with Cancel, leaves a
// picture and writes nothing; without a display it says how to get one.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

namespace {

QByteArray Digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

struct Outcome {
    int code;
    QString out;
    QString err;
};

Outcome Axishost(const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ORVEX_BIN_DIR "/axishost"), args);
    EXPECT_TRUE(p.waitForFinished(30000));
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

class AxishostDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath("demo.json");
        ASSERT_TRUE(QFile::copy(ORVEX_RESOURCE_DIR "/setups/demo.json", file));
        env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir dir;
    QString file;
    QProcessEnvironment env;
};

TEST_F(AxishostDialog, TrialRunCancelsSnapshotsAndWritesNothing) {
    const QByteArray before = Digest(file);
    const QString pictures = dir.filePath("pictures");
    const Outcome run =
        Axishost({"dialog", "driveinfo", file, "--snapshot", pictures, "--auto", "cancel"}, env);
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(Digest(file), before);
    EXPECT_FALSE(QFile::exists(file + ".bak"));
    const QImage picture(QDir(pictures).filePath("01-DriveInfo.png"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 400);
}

TEST_F(AxishostDialog, ConfirmedRunSavesAndKeepsABackup) {
    const QByteArray before = Digest(file);
    const Outcome run = Axishost({"dialog", "driveinfo", file, "--auto", "ok"}, env);
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("saved")) << run.out.toStdString();
    EXPECT_EQ(Digest(file + ".bak"), before);
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("\"format\": \"orvex-setup\""));
}

// Regression: a test dialog sets the start move aside while it is open; OK of the trial
// run saved it as 0 although no test had run.
TEST_F(AxishostDialog, ConfirmingATestDialogSavesTheStartMoveOfTheEditorsOk) {
    const Outcome run = Axishost({"dialog", "vdc", file, "--auto", "ok"}, env);
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_TRUE(text.contains("{\"name\": \"ABSTART_MINMOVE\", \"value\": 12.0,"))
        << text.constData();
}

TEST_F(AxishostDialog, ASnapshotFolderThatCannotBeWrittenIsAnError) {
    const QString blocked = dir.filePath("file-in-the-way");
    QFile in_the_way(blocked);
    ASSERT_TRUE(in_the_way.open(QIODevice::WriteOnly));
    in_the_way.close();
    const QByteArray before = Digest(file);
    const Outcome run = Axishost(
        {"dialog", "driveinfo", file, "--snapshot", blocked + "/pictures", "--auto", "ok"}, env);
    EXPECT_EQ(run.code, 2) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("--snapshot")) << run.err.toStdString();
    EXPECT_EQ(Digest(file), before);
}

TEST_F(AxishostDialog, UnknownNamesAreListedAgainstTheKnownOnes) {
    const Outcome run = Axishost({"dialog", "nosuch", file, "--auto", "cancel"}, env);
    EXPECT_EQ(run.code, 2);
    EXPECT_TRUE(run.err.contains("known: driveinfo")) << run.err.toStdString();
}

TEST_F(AxishostDialog, WithoutADisplayPointsToXvfbRun) {
    env.remove("QT_QPA_PLATFORM");
    const Outcome run = Axishost({"dialog", "driveinfo", file}, env);
    EXPECT_EQ(run.code, 2);
    EXPECT_TRUE(run.err.contains("xvfb-run")) << run.err.toStdString();
}

}  // namespace
