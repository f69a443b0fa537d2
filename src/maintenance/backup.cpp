#include "maintenance/backup.h"

#include "maintenance/cabinet.h"
#include "platform/file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <filesystem>

namespace maintenance {

namespace {

namespace fs = std::filesystem;

bool isBackedUpKind(const QString& name) {
    for (const QString& mask : kBackupMasks) {
        const QRegularExpression pattern(QRegularExpression::wildcardToRegularExpression(mask),
                                         QRegularExpression::CaseInsensitiveOption);
        if (pattern.match(name).hasMatch()) return true;
    }
    return false;
}

const QRegularExpression& historyName() {
    static const QRegularExpression pattern(QStringLiteral("^backup-\\d{8}-\\d{6}(-\\d+)?\\.cab$"));
    return pattern;
}

// The cabinets kept from earlier shutdowns, oldest first: their names sort
// as their times do.
QStringList history(const QDir& folder) {
    QStringList names;
    for (const QString& name :
         folder.entryList({QStringLiteral("backup-*.cab")}, QDir::Files, QDir::Name)) {
        if (historyName().match(name).hasMatch()) names << name;
    }
    return names;
}

// A second name for the current backup.cab, made before it is replaced: the
// replacement then leaves the old cabinet under this name. A hard link costs
// nothing; where the file system has none, a copy.
QString keepPrevious(const QDir& folder, const QString& cabinet) {
    const QString stamp =
        QFileInfo(cabinet).lastModified().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = QStringLiteral("backup-%1.cab").arg(stamp);
    for (int n = 2; QFileInfo::exists(folder.filePath(name)); ++n) {
        name = QStringLiteral("backup-%1-%2.cab").arg(stamp).arg(n);
    }
    const QString kept = folder.filePath(name);
    std::error_code code;
    fs::create_hard_link(platform::fsPath(cabinet), platform::fsPath(kept), code);
    if (code) {
        try {
            platform::copyFile(cabinet, kept);
        } catch (const platform::FileError&) {
            throw CabinetError(QStringLiteral("Could not create cabinet file"),
                               CabinetError::kCreateCabinet, SystemError::from(code));
        }
    }
    return kept;
}

void pruneHistory(const QDir& folder) {
    QStringList names = history(folder);
    while (names.size() > kBackupHistory) QFile::remove(folder.filePath(names.takeFirst()));
}

}  // namespace

QString skippedFilesWarning(const QStringList& names) {
    return QStringLiteral("   Non salvati nel backup (nome non ammesso in un cabinet): %1   ")
        .arg(names.join(QStringLiteral(", ")));
}

BackupResult makeShutdownBackup(const QString& folder) {
    const QDir dir(folder);
    const QString path = dir.filePath(kBackupFileName);
    const bool hadBackup = QFileInfo(path).isFile();
    QString kept;
    try {
        CabinetWriter writer;
        writer.create(path);
        for (const QString& mask : kBackupMasks) writer.addFiles(folder, mask);
        BackupResult result{path, writer.names(), writer.skipped(), {}};
        if (hadBackup) kept = keepPrevious(dir, path);
        writer.close();
        result.previous = kept;
        pruneHistory(dir);
        return result;
    } catch (const CabinetError& error) {
        // backup.cab is still the previous cabinet: its second name goes.
        if (!kept.isEmpty()) QFile::remove(kept);
        throw error.withNote(hadBackup ? kPreviousBackupKept : kNoBackupKept);
    }
}

QStringList restoreBackup(const QString& folder) {
    return extractAll(QDir(folder).filePath(kBackupFileName), folder,
                      [](const CabinetEntry& entry) { return isBackedUpKind(entry.name); });
}

}  // namespace maintenance
