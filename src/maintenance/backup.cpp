#include "maintenance/backup.h"

#include "maintenance/cabinet.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace maintenance {

namespace {

bool isBackedUpKind(const QString& name) {
    for (const QString& mask : kBackupMasks) {
        const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(mask),
                                         QRegularExpression::CaseInsensitiveOption);
        if (pattern.match(name).hasMatch()) return true;
    }
    return false;
}

}  // namespace

BackupResult makeShutdownBackup(const QString& folder) {
    const QString path = QDir(folder).filePath(kBackupFileName);
    const bool hadBackup = QFileInfo(path).isFile();
    try {
        CabinetWriter writer;
        writer.create(path);
        for (const QString& mask : kBackupMasks) writer.addFiles(folder, mask);
        const QStringList files = writer.names();
        writer.close();
        return BackupResult{path, files};
    } catch (const CabinetError& error) {
        throw error.withNote(hadBackup ? kPreviousBackupKept : kNoBackupKept);
    }
}

QStringList restoreBackup(const QString& folder) {
    return extractAll(QDir(folder).filePath(kBackupFileName), folder,
                      [](const CabinetEntry& entry) { return isBackedUpKind(entry.name); });
}

}  // namespace maintenance
