// axishost edit FILE: the editor saves on OK (keeping a backup), leaves the file
// byte-identical on Cancel, and opens every editor dialog for a trial run.
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

class AxishostEdit : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath("demo.json");
        ASSERT_TRUE(QFile::copy(ORVEX_RESOURCE_DIR "/setups/demo.json", file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "offscreen");
    }
    Outcome Axishost(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ORVEX_BIN_DIR "/axishost"), args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    QTemporaryDir dir;
    QString file;
    QProcessEnvironment env;
};

TEST_F(AxishostEdit, CancelLeavesTheFileByteIdentical) {
    const QByteArray before = Digest(file);
    const QString pictures = dir.filePath("pictures");
    const Outcome run =
        Axishost({"edit", file, "--drive", "none", "--auto", "cancel", "--snapshot", pictures});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("not written")) << run.out.toStdString();
    EXPECT_EQ(Digest(file), before);
    EXPECT_FALSE(QFile::exists(file + ".bak"));
    const QImage picture(QDir(pictures).filePath("01-DriveSetup.png"));
    ASSERT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 600);
}

TEST_F(AxishostEdit, OkSavesAndKeepsABackup) {
    const QByteArray before = Digest(file);
    const Outcome run = Axishost({"edit", file, "--auto", "ok"});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("saved")) << run.out.toStdString();
    EXPECT_EQ(Digest(file + ".bak"), before);
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("\"format\": \"orvex-setup\""));
}

TEST_F(AxishostEdit, BadArgumentsAndMissingFilesWriteNothing) {
    struct Case {
        QStringList args;
        const char* says;
    } const cases[] = {
        {{"edit"}, "one setup file"},
        {{"edit", "/nonexistent/setup.json", "--auto", "cancel"}, "setup.json"},
        {{"edit", "FILE", "--auto", "maybe"}, "--auto takes cancel or ok"},
        {{"edit", "FILE", "--drive", "sim:nosuch", "--auto", "cancel"}, "nosuch"},
    };
    const QByteArray before = Digest(file);
    for (const Case& c : cases) {
        QStringList args = c.args;
        args.replaceInStrings("FILE", file);
        const Outcome run = Axishost(args);
        EXPECT_EQ(run.code, 2) << c.says;
        EXPECT_TRUE(run.err.contains(c.says)) << run.err.toStdString();
    }
    EXPECT_EQ(Digest(file), before);
}

TEST_F(AxishostEdit, EveryEditorDialogOpensForATrialRun) {
    for (const char* name : {"drivesetup", "advanced"}) {
        SCOPED_TRACE(name);
        const QString pictures = dir.filePath(name);
        const Outcome run =
            Axishost({"dialog", name, file, "--auto", "cancel", "--snapshot", pictures});
        EXPECT_EQ(run.code, 0) << run.err.toStdString();
        EXPECT_GE(QDir(pictures).entryList({"*.png"}).size(), 1);
    }
}

}  // namespace
