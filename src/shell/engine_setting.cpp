#include "shell/engine_setting.h"

#include "archive/dbase/engine_settings.h"
#include "platform/error.h"
#include "platform/ini_file.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace shell {
namespace {
const QString kSection = QStringLiteral("SYSTEM\\INIT");
}

QString defaultEngineSettingsPath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("TableEngine.ini"));
}

void writeLocalShare(const QString& path) {
    try {
        if (!QDir().mkpath(QFileInfo(path).absolutePath())) throw platform::FileError(path);
        platform::IniFile ini(path);
        ini.load();
        ini.writeString(kSection, kLocalShare, QStringLiteral("TRUE"));
        ini.save();
    } catch (const platform::Error&) {
        throw platform::Error(QStringLiteral("Failed to set data for '%1'").arg(kLocalShare));
    }
}

void applyEngineSettings(const QString& path) {
    platform::IniFile ini(path);
    try {
        ini.load();
    } catch (const platform::Error&) {
        return;  // unreadable: as if there were none
    }
    const QString value = ini.readString(kSection, kLocalShare);
    if (value.compare(QStringLiteral("TRUE"), Qt::CaseInsensitive) == 0) dbase::setLocalShare(true);
    if (value.compare(QStringLiteral("FALSE"), Qt::CaseInsensitive) == 0)
        dbase::setLocalShare(false);
}

}  // namespace shell
