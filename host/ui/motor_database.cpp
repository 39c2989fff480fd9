#include "host/ui/motor_database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <cmath>

#include "host/setup/file_save.h"

namespace axis {

const MotorRecord* MotorDatabase::Find(const QString& name) const {
    for (const MotorRecord& m : motors)
        if (m.name == name) return &m;
    return nullptr;
}

const std::vector<const char*>& MotorParameterNames() {
    static const std::vector<const char*> names = {"In", "ImaxM", "K",           "R",
                                                   "L",  "Jm",    "NoMotorSteps"};
    return names;
}

QString ShippedMotorDatabasePath() {
    return QStringLiteral(":/axiscore/motors/generic_hybrid_steppers.json");
}

QString UserMotorDatabasePath() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("orvex/motors.json"));
}

std::optional<MotorDatabase> ReadMotorDatabase(const QString& path, const QString& title,
                                               bool read_only, QString* error) {
    MotorDatabase db{title, path, read_only, {}};
    QFile file(path);
    if (!file.exists()) return db;
    auto fail = [&](const QString& why) -> std::optional<MotorDatabase> {
        if (error) *error = path + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError) return fail(parse.errorString());
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != QLatin1String("orvex-motors"))
        return fail(QStringLiteral("not a motor database"));
    const QJsonArray motors = root.value(QStringLiteral("motors")).toArray();
    for (int i = 0; i < motors.size(); ++i) {
        const QJsonObject m = motors[i].toObject();
        MotorRecord record{m.value(QStringLiteral("name")).toString(), {}};
        if (record.name.isEmpty()) return fail(QStringLiteral("motors[%1].name: missing").arg(i));
        const QJsonObject params = m.value(QStringLiteral("parameters")).toObject();
        for (auto it = params.begin(); it != params.end(); ++it) {
            if (!it.value().isDouble() || !std::isfinite(it.value().toDouble()))
                return fail(
                    QStringLiteral("motors[%1].parameters.%2: not a number").arg(i).arg(it.key()));
            record.parameters.emplace_back(it.key(), it.value().toDouble());
        }
        // JSON objects have no order; motor values are applied in the usual order of
        // the motor data, others after them.
        auto rank = [](const QString& name) {
            const auto& known = MotorParameterNames();
            for (size_t k = 0; k < known.size(); ++k)
                if (name == QLatin1String(known[k])) return static_cast<int>(k);
            return static_cast<int>(known.size());
        };
        std::stable_sort(
            record.parameters.begin(), record.parameters.end(),
            [&](const auto& a, const auto& b) { return rank(a.first) < rank(b.first); });
        db.motors.push_back(std::move(record));
    }
    return db;
}

QString WriteMotorDatabase(const MotorDatabase& db) {
    if (db.read_only) return db.path + QStringLiteral(" is read-only");
    QDir().mkpath(QFileInfo(db.path).path());
    QJsonArray motors;
    for (const MotorRecord& m : db.motors) {
        QJsonObject params;
        for (const auto& [name, value] : m.parameters) params.insert(name, value);
        motors.append(
            QJsonObject{{QStringLiteral("name"), m.name}, {QStringLiteral("parameters"), params}});
    }
    const QJsonObject root{{QStringLiteral("format"), QStringLiteral("orvex-motors")},
                           {QStringLiteral("version"), 1},
                           {QStringLiteral("motors"), motors}};
    // Atomic, with the previous database kept as the backup: a crash while saving never
    // leaves half a database, and a wrong save can be undone.
    const QByteArray text = QJsonDocument(root).toJson(QJsonDocument::Indented);
    return QString::fromStdString(SaveFileAtomically(
        db.path.toStdString(), {text.constData(), static_cast<size_t>(text.size())}));
}

}  // namespace axis
