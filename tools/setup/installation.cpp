#include "setup/installation.h"

#include "archive/archive_files.h"
#include "maintenance/settings_store.h"
#include "platform/error.h"
#include "platform/file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace setup {

QString defaultTemplatesFolder() {
    // Installed, the templates are in share/tasmero/templates beside the
    // command's bin folder; run from a build tree, it takes those of the
    // sources.
    if (QCoreApplication::instance()) {
        const QDir installed(QCoreApplication::applicationDirPath() + u'/' +
                             QStringLiteral(TASMERO_INSTALLED_TEMPLATES_DIR));
        if (installed.exists()) return installed.absolutePath();
    }
    return QStringLiteral(TASMERO_TEMPLATES_DIR);
}

InstallationReport prepareInstallation(const QString& folder, const QString& templatesFolder) {
    if (!QDir().mkpath(folder))
        throw platform::FileError(
            QStringLiteral("Cannot create %1").arg(QDir::toNativeSeparators(folder)));
    InstallationReport report;
    report.tablesCreated = archive::createMissingTables(folder);
    report.settingsCreated = maintenance::writeDefaultSettings(folder);
    const QDir from(templatesFolder);
    const QDir to(folder);
    for (const QString& name : from.entryList({QStringLiteral("*.frf")}, QDir::Files)) {
        // Templates are found without regard to case, as the tables are.
        bool present = false;
        for (const QString& existing : to.entryList(QDir::Files))
            present = present || existing.compare(name, Qt::CaseInsensitive) == 0;
        if (present) continue;
        try {
            platform::copyFile(from.filePath(name), to.filePath(name));
        } catch (const platform::FileError&) {
            throw platform::FileError(QStringLiteral("Unable to write to %1")
                                          .arg(QDir::toNativeSeparators(to.filePath(name))));
        }
        QFile::setPermissions(to.filePath(name), QFile::ReadOwner | QFile::WriteOwner |
                                                     QFile::ReadGroup | QFile::ReadOther);
        report.templatesCopied << name;
    }
    return report;
}

}  // namespace setup
