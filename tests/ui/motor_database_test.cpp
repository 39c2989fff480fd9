// Reading motor databases: a damaged or hostile file is refused with its place and
// never half read.
#include "host/ui/motor_database.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(MotorDatabase, RefusesDamagedFilesNamingThePlace) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("motors.json"));
    struct Case {
        std::string text;
        std::string error;  // after "PATH: "
    } cases[] = {
        {R"({"format": "orvex-motors", "motors": [{"name": "A", "parameters": {"R": "1"}}]})",
         "motors[0].parameters.R: not a number"},
        {R"({"format": "orvex-motors", "motors": [{"name": "", "parameters": {}}]})",
         "motors[0].name: empty"},
        {R"({"format": "orvex-motors", "motors": [{"parameters": {}}]})",
         "motors[0].name: missing"},
        {R"({"format": "orvex-motors", "motors": [{"name": "A"}]})",
         "motors[0].parameters: missing"},
        {R"({"format": "orvex-motors", "motors": {}})", "motors: not an array"},
        {R"({"format": "orvex-motors", "motors": [{"name": "A", "parameters": {"R": 1, "R": 2}}]})",
         "line 1, column 78: duplicate key \"R\""},
        {R"({"format": "other", "motors": []})", "not a motor database"},
        {"{\"format\": \"orvex-motors\",\n \"motors\": " + std::string(100000, '[') +
             std::string(100000, ']') + "}",
         "line 2, column 19: nested deeper than 8 levels"},
    };
    for (const Case& c : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(c.text.data(), static_cast<qint64>(c.text.size()));
        file.close();
        QString error;
        EXPECT_FALSE(axis::ReadMotorDatabase(path, "user", false, &error)) << c.error;
        EXPECT_EQ(error.toStdString(), path.toStdString() + ": " + c.error);
    }
}

TEST(MotorDatabase, ShippedDatabaseReadsInMotorDataOrder) {
    QString error;
    const auto db =
        axis::ReadMotorDatabase(axis::ShippedMotorDatabasePath(), "shipped", true, &error);
    ASSERT_TRUE(db) << error.toStdString();
    ASSERT_FALSE(db->motors.empty());
    for (const auto& m : db->motors) {
        EXPECT_FALSE(m.name.isEmpty());
        ASSERT_FALSE(m.parameters.empty());
        EXPECT_EQ(m.parameters.front().first, QStringLiteral("In")) << m.name.toStdString();
    }
}

}  // namespace
