#include "maintenance/media_backup.h"

#include "maintenance/backup.h"
#include "maintenance/cabinet.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/ini_file.h"
#include "platform/prompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace maintenance {

namespace {

const QString kSection = QStringLiteral("Backup");
const QString kFolderKey = QStringLiteral("Cartella");

// Copies `from` to `to` (which must not exist) and makes it durable. A
// partial copy is removed.
bool copyDurably(const QString& from, const QString& to) {
    try {
        platform::copyFile(from, to);
        return true;
    } catch (const platform::FileError&) {
        return false;
    }
}

// Reads both files back from disk and compares them.
bool sameBytes(const QString& a, const QString& b) {
    QFile first(a);
    QFile second(b);
    if (!first.open(QIODevice::ReadOnly) || !second.open(QIODevice::ReadOnly)) return false;
    if (first.size() != second.size()) return false;
    while (!first.atEnd()) {
        const QByteArray x = first.read(1 << 20);
        const QByteArray y = second.read(x.size());
        if (x.isEmpty() || x != y) return false;
    }
    return true;
}

// A name beside `target` that no other file uses.
QString scratchName(const QString& target) {
    const QFileInfo info(target);
    QString name = info.dir().filePath(QStringLiteral(".%1.partial").arg(info.fileName()));
    QFile::remove(name);  // a leftover of an interrupted copy
    return name;
}

bool replaceWith(const QString& from, const QString& to) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            platform::replaceFile(from, to);
            return true;
        } catch (const platform::FileError&) {
            // A read-only copy on the media stands in the way on some systems.
            QFile(to).setPermissions(QFile(to).permissions() | QFileDevice::WriteOwner);
        }
    }
    QFile::remove(from);
    return false;
}

// True when every file of the cabinet decompresses whole: the same check
// extraction itself makes, into a scratch folder that then goes.
bool wholeCabinet(const QString& cabinet, const QString& folder) {
    QTemporaryDir scratch(QDir(folder).filePath(QStringLiteral(".check-XXXXXX")));
    if (!scratch.isValid()) return false;
    try {
        extractAll(cabinet, scratch.path());
        return true;
    } catch (const CabinetError&) {
        return false;
    }
}

QString withFolder(QString text, const QString& mediaFolder) {
    return text.replace(QStringLiteral("A:"), QDir::toNativeSeparators(mediaFolder));
}

}  // namespace

QString folderPathText(const QString& folder) {
    QString text = QDir::toNativeSeparators(QDir::cleanPath(folder));
    if (!text.endsWith(QDir::separator())) text += QDir::separator();
    return text;
}

QString insertBlankMediaText(const QString& mediaFolder) {
    return withFolder(QStringLiteral("   Inserire un dischetto vuoto e formattato nel drive A:   "),
                      mediaFolder);
}

QString insertBackupMediaText(const QString& mediaFolder) {
    return withFolder(QStringLiteral("   Inserire il dischetto con il backup nel floppy A:   "),
                      mediaFolder);
}

QString mediaCabinetMissingText(const QString& mediaFolder, const QString& programFolder) {
    return QStringLiteral("   File in %1 non trovato. Utilizzo, se c'è, il file   \r\n   in %2   ")
        .arg(folderPathText(mediaFolder), folderPathText(programFolder));
}

QString mediaCopyFailedText(const QString& programFolder) {
    return QStringLiteral(
               "   Il traferimento non è andato a buon fine, ma potete ancora trasferire   \r\n"
               "   manualmente prima di questa conferma i vostri files su %1   ")
        .arg(folderPathText(programFolder));
}

QString firstVolumeIn(const QStringList& roots) {
    for (const QString& root : roots) {
        const QDir dir(root);
        const QStringList volumes =
            dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Readable, QDir::Name);
        if (!volumes.isEmpty()) return dir.filePath(volumes.first());
    }
    return {};
}

QString defaultMediaFolder() {
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) user = qEnvironmentVariable("USERNAME");
    if (user.isEmpty()) return {};
    return firstVolumeIn({QStringLiteral("/media/") + user, QStringLiteral("/run/media/") + user});
}

MediaFolderSetting::MediaFolderSetting(QString path) : path_(std::move(path)) {}

QString MediaFolderSetting::defaultPath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("TasmeroBackup.ini"));
}

QString MediaFolderSetting::read() const {
    platform::IniFile ini(path_);
    ini.load();
    return ini.readString(kSection, kFolderKey);
}

void MediaFolderSetting::write(const QString& folder) const {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    platform::IniFile ini(path_);
    ini.load();
    ini.writeString(kSection, kFolderKey, folder);
    ini.save();
}

bool copyBackupToMedia(const QString& programFolder, const QString& mediaFolder) {
    const QString local = QDir(programFolder).filePath(kBackupFileName);
    if (mediaFolder.isEmpty() || !QFileInfo(mediaFolder).isDir()) return false;
    const QString target = QDir(mediaFolder).filePath(kBackupFileName);
    const QString partial = scratchName(target);
    if (!copyDurably(local, partial)) return false;
    bool good = sameBytes(local, partial);
    if (good) {
        try {
            listCabinet(partial);
        } catch (const CabinetError&) {
            good = false;
        }
    }
    if (!good) {
        QFile::remove(partial);
        return false;
    }
    return replaceWith(partial, target);
}

MediaFetch fetchBackupFromMedia(const QString& mediaFolder, const QString& programFolder) {
    const QString source = QDir(mediaFolder).filePath(kBackupFileName);
    if (mediaFolder.isEmpty() || !QFileInfo(source).isFile()) return MediaFetch::Missing;
    const QString local = QDir(programFolder).filePath(kBackupFileName);
    const QString partial = scratchName(local);
    if (!copyDurably(source, partial)) return MediaFetch::Failed;
    if (!sameBytes(source, partial) || !wholeCabinet(partial, programFolder)) {
        QFile::remove(partial);
        return MediaFetch::Failed;
    }
    return replaceWith(partial, local) ? MediaFetch::Copied : MediaFetch::Failed;
}

bool backupToMedia(const QString& programFolder, const QString& mediaFolder,
                   const ArchiveTables& tables) {
    platform::prompts().warning(insertBlankMediaText(mediaFolder));
    tables.close();
    const BackupResult result = makeShutdownBackup(programFolder);
    if (!result.skipped.isEmpty()) platform::prompts().warning(skippedFilesWarning(result.skipped));
    const bool copied = copyBackupToMedia(programFolder, mediaFolder);
    platform::prompts().warning(copied ? kTransferDone : kTransferFailed);
    tables.open();
    return copied;
}

void restoreFromMedia(const QString& programFolder, const QString& mediaFolder,
                      const ArchiveTables& tables) {
    tables.close();
    platform::prompts().warning(insertBackupMediaText(mediaFolder));
    switch (fetchBackupFromMedia(mediaFolder, programFolder)) {
        case MediaFetch::Missing:
            platform::prompts().warning(mediaCabinetMissingText(mediaFolder, programFolder));
            break;
        case MediaFetch::Failed:
            platform::prompts().warning(mediaCopyFailedText(programFolder));
            break;
        case MediaFetch::Copied:
            break;
    }
    if (QFileInfo(QDir(programFolder).filePath(kBackupFileName)).isFile()) {
        restoreBackup(programFolder);
        platform::prompts().warning(kRestoreDone);
    }
    tables.open();
}

}  // namespace maintenance
