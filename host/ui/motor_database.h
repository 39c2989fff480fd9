#pragma once
// Motor databases: named sets of motor parameter values (base units), read from and
// written to JSON files. The host ships a read-only database of generic hybrid step
// motors; each user has a database of their own in their config folder.

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace axis {

struct MotorRecord {
    QString name;
    std::vector<std::pair<QString, double>> parameters;  ///< name, value in base unit
};

struct MotorDatabase {
    QString title;
    QString path;  ///< file or resource it was read from and is written to
    bool read_only = false;
    std::vector<MotorRecord> motors;

    /// The motor with this name (exact), or null.
    const MotorRecord* Find(const QString& name) const;
};

/// The parameters a motor record holds: the motor's own data.
const std::vector<const char*>& MotorParameterNames();

/// Where the shipped database lives (a Qt resource).
QString ShippedMotorDatabasePath();
/// The user's database: "orvex/motors.json" in the user's config folder.
QString UserMotorDatabasePath();

/// Reads a database; a missing file gives an empty database (a user who has saved
/// nothing yet). Any other problem gives no database and the reason.
std::optional<MotorDatabase> ReadMotorDatabase(const QString& path, const QString& title,
                                               bool read_only, QString* error);
/// Reads a database from the bytes of its file (what ReadMotorDatabase does once the
/// file is read); `path` names it in messages.
std::optional<MotorDatabase> ParseMotorDatabase(const QByteArray& bytes, const QString& path,
                                                const QString& title, bool read_only,
                                                QString* error);
/// Writes the database to its path atomically (creating the folder); the reason on
/// failure, empty on success.
QString WriteMotorDatabase(const MotorDatabase& db);

}  // namespace axis
