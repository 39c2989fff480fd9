// Any bytes as a motor database file: motors or a reason, never a crash or a hang.
#include <cstdint>
#include <cstdlib>

#include "host/ui/motor_database.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QString error;
    const auto db = axis::ParseMotorDatabase(
        QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
        QStringLiteral("fuzz.json"), QStringLiteral("fuzz"), false, &error);
    if (db.has_value() == !error.isEmpty()) std::abort();
    if (db)
        for (const auto& motor : db->motors)
            if (motor.name.isEmpty()) std::abort();
    return 0;
}
