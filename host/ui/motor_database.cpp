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
#include "util/json/json_reader.h"

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
    return ParseMotorDatabase(file.readAll(), path, title, read_only, error);
}

std::optional<MotorDatabase> ParseMotorDatabase(const QByteArray& bytes, const QString& path,
                                                const QString& title, bool read_only,
                                                QString* error) {
    MotorDatabase db{title, path, read_only, {}};
    auto fail = [&](const QString& why) -> std::optional<MotorDatabase> {
        if (error) *error = path + QStringLiteral(": ") + why;
        return std::nullopt;
    };
    // A database is four levels deep (top, list, motor, its parameters).
    orvex::json::Document doc = orvex::json::Parse(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
        {.max_depth = 8});
    if (!doc.ok()) return fail(QString::fromStdString(doc.error));
    orvex::json::Fault fault;
    orvex::json::ObjectReader root(doc.value, orvex::json::Place(), fault);
    if (fault || root.Text("format", orvex::json::ObjectReader::kOptional) != "orvex-motors")
        return fail(QStringLiteral("not a motor database"));
    const orvex::json::Value* motors = root.Array("motors");
    for (std::size_t i = 0; motors && !fault && i < motors->size(); ++i) {
        orvex::json::ObjectReader m((*motors)[i], root.At("motors").Index(i), fault);
        const auto name = m.Text("name");
        if (name && name->empty()) fault.Set(m.At("name"), "empty");
        const orvex::json::Value* params = m.Object("parameters");
        if (fault) break;
        MotorRecord record{QString::fromStdString(*name), {}};
        for (auto it = params->begin(); it != params->end(); ++it) {
            if (!it->is_number() || !std::isfinite(it->get<double>())) {
                fault.Set(m.At("parameters").Member(it.key()), "not a number");
                break;
            }
            record.parameters.emplace_back(QString::fromStdString(it.key()), it->get<double>());
        }
        if (fault) break;
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
    if (fault) return fail(QString::fromStdString(fault.Text()));
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
