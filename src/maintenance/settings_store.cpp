#include "maintenance/settings_store.h"

#include "platform/error.h"
#include "platform/ini_file.h"

#include <QDir>
#include <QFileInfo>

namespace maintenance {
namespace {

const QString kUserNameKey = QStringLiteral("Codice_Text");
const QString kStoredPasswordKey = QStringLiteral("pwpw_Caption");

QString joined(const int (&values)[4]) {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(values[0])
        .arg(values[1])
        .arg(values[2])
        .arg(values[3]);
}

}  // namespace

void SettingsStore::setFolder(const QString& folder) {
    path_ = QDir(folder).filePath(kSettingsFileName);
}

void SettingsStore::requirePath() const {
    if (path_.isEmpty()) throw platform::Error(QStringLiteral("The settings file has no folder"));
}

void SettingsStore::read() {
    requirePath();
    platform::IniFile ini(path_);
    ini.load();
    if (ini.hasKey(kSettingsSection, kUserNameKey))
        userName_ = ini.readString(kSettingsSection, kUserNameKey);
    if (ini.hasKey(kSettingsSection, kStoredPasswordKey))
        storedPassword_ = ini.readString(kSettingsSection, kStoredPasswordKey);
    readSinceWrite_ = true;
}

void SettingsStore::write() {
    requirePath();
    platform::IniFile ini(path_);
    try {
        // Keep whatever else the file holds.
        ini.load();
    } catch (const platform::FileError&) {
        // A file we cannot even read cannot be rewritten either; say so in the
        // terms of the write.
        throw platform::FileError(
            QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path_)));
    }
    const WindowPlacement& p = placement_;
    ini.writeString(kSettingsSection, QStringLiteral("FormVersion"), QStringLiteral("0"));
    ini.writeString(kSettingsSection, QStringLiteral("Flags"), QString::number(p.flags));
    ini.writeString(kSettingsSection, QStringLiteral("ShowCmd"), QString::number(p.showCmd));
    ini.writeString(kSettingsSection, QStringLiteral("PixelsPerInch"),
                    QString::number(p.pixelsPerInch));
    ini.writeString(kSettingsSection, QStringLiteral("MinMaxPos"), joined(p.minMaxPos));
    ini.writeString(kSettingsSection, QStringLiteral("NormPos"), joined(p.normPos));
    ini.writeString(kSettingsSection, QStringLiteral("Visible"),
                    p.visible ? QStringLiteral("1") : QStringLiteral("0"));
    ini.writeString(kSettingsSection, kUserNameKey, userName_);
    ini.writeString(kSettingsSection, kStoredPasswordKey, storedPassword_);
    ini.save();
    readSinceWrite_ = false;
}

void SettingsStore::writeAtProgramEnd() {
    if (readSinceWrite_) write();
}

bool writeDefaultSettings(const QString& folder) {
    SettingsStore store;
    store.setFolder(folder);
    if (QFileInfo::exists(store.path())) return false;
    store.write();
    return true;
}

}  // namespace maintenance
