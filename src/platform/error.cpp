#include "platform/error.h"

#include <QDir>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

const char* verb(FileError::Action action) {
    switch (action) {
        case FileError::Action::Examine: return "examine";
        case FileError::Action::Read: return "read";
        case FileError::Action::Write:
        case FileError::Action::Sync: return "write";
        case FileError::Action::Resize: return "resize";
        case FileError::Action::Map: return "map";
        case FileError::Action::Lock: return "lock";
        case FileError::Action::Unlock: return "unlock";
        case FileError::Action::Replace: return "replace";
        case FileError::Action::None:
        case FileError::Action::Open:
        case FileError::Action::Create: break;
    }
    return "open";
}

QString describe(const QString& path, FileError::Action action, int systemError) {
    const QString native = QDir::toNativeSeparators(path);
    const bool opening = action == FileError::Action::Open || action == FileError::Action::Create;
    if (opening && systemError == ENOENT) return QStringLiteral("File not found: %1").arg(native);
    return QStringLiteral("Cannot %1 %2: %3")
        .arg(QLatin1String(verb(action)), native, systemMessage(systemError));
}

}  // namespace

Error::Error(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

FileError::FileError(const QString& path, Action action, int systemError)
    : Error(describe(path, action, systemError)),
      path_(path),
      action_(action),
      systemError_(systemError) {}

QString systemMessage(int systemError) {
    return QString::fromLocal8Bit(std::strerror(systemError));
}

}  // namespace platform
