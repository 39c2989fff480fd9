#pragma once
// axishost run as a program, as a user runs it, on a writable copy of the shipped
// demo setup in a temporary folder; off screen unless a test says otherwise.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace orvex_test {

inline QByteArray Digest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

class AxishostProcessTest : public ::testing::Test {
  protected:
    struct Outcome {
        int code;
        QString out, err;
    };

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
        EXPECT_TRUE(p.waitForFinished(120000)) << args.join(' ').toStdString();
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }

    QTemporaryDir dir;
    QString file;
    QProcessEnvironment env;
};

}  // namespace orvex_test
