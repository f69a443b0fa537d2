#include "maintenance/cabinet_error.h"

#include <string>

namespace maintenance {

namespace {

QString hex4(int number) {
    return QStringLiteral("%1").arg(static_cast<uint>(number), 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

SystemError SystemError::fromErrno(int number) {
    return from(std::error_code(number, std::generic_category()));
}

SystemError SystemError::from(const std::error_code& code) {
    return SystemError{code.value(), QString::fromLocal8Bit(code.message())};
}

CabinetError::CabinetError(const QString& libraryMessage, int code,
                           std::optional<SystemError> system)
    : CabinetError(format(libraryMessage, code, system), code, system, true) {}

CabinetError::CabinetError(QString fullMessage, int code, std::optional<SystemError> system, bool)
    : platform::Error(std::move(fullMessage)), code_(code), system_(std::move(system)) {}

CabinetError CabinetError::withNote(const QString& note) const {
    return CabinetError(message() + QLatin1Char('\n') + note, code_, system_, true);
}

QString CabinetError::format(const QString& libraryMessage, int code,
                             const std::optional<SystemError>& system) {
    QString text = libraryMessage + QStringLiteral(" [0x") + hex4(code) + QLatin1Char(']');
    if (system) {
        text += QStringLiteral(".\n") + system->message + QStringLiteral(" [0x") +
                hex4(system->number) + QStringLiteral("].");
    }
    return text;
}

}  // namespace maintenance
