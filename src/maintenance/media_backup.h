// Backup to and restore from removable media: the two buttons of the Backup
// page, without the window.
//
// The floppy drive of old is a folder here (a USB stick, a network share),
// chosen on the Backup page and remembered in the user's configuration folder;
// until one is chosen, the first mounted removable volume is offered.
//
// Both procedures go through the local backup.cab of the program folder and
// keep the operator's messages as they always were, with the drive named by
// the chosen folder. What they guarantee beyond that:
//   * backup: the copy on the media is written under a temporary name, made
//     durable, read back and compared with the local cabinet, and checked as
//     a cabinet; only then does it replace the media's backup.cab in one
//     rename. A failed or bad copy leaves an earlier copy on the media whole.
//   * restore: the media's cabinet is copied beside the local backup.cab under
//     a temporary name and checked whole (every file decompressed) before it
//     replaces the local one; a damaged copy is a failed copy, and the local
//     backup.cab, still intact, is what gets restored.
//   * the extraction is all or nothing (restoreBackup()).
//
// The caller closes nothing itself: the procedures close and reopen the
// tables through `ArchiveTables` in the usual order. An error from the cabinet
// layer or from reopening ends a procedure with the tables closed, as the
// shutdown backup then expects.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace maintenance {

// Messages, with "A:" (or "A:\") standing for the media folder.
QString insertBlankMediaText(const QString& mediaFolder);
QString insertBackupMediaText(const QString& mediaFolder);
QString mediaCabinetMissingText(const QString& mediaFolder, const QString& programFolder);
QString mediaCopyFailedText(const QString& programFolder);
inline const QString kTransferDone =
    QStringLiteral("   Trasferimento effettuato. Riporre il dischetto in luogo sicuro   ");
inline const QString kTransferFailed = QStringLiteral("   Errore durante il Trasferimento.   ");
inline const QString kRestoreDone = QStringLiteral("   Ripristino effettuato   ");

// A folder as the operator reads it, ending with the separator.
QString folderPathText(const QString& folder);

// The first mounted volume under /media/<user> or /run/media/<user> (or the
// `roots` given), in name order; "" when there is none.
QString defaultMediaFolder();
QString firstVolumeIn(const QStringList& roots);

// The chosen media folder, kept in "TasmeroBackup.ini" beside the last-user
// file. read() gives "" when none was chosen; write() raises FileError.
class MediaFolderSetting {
  public:
    explicit MediaFolderSetting(QString path = defaultPath());
    static QString defaultPath();
    QString read() const;
    void write(const QString& folder) const;

  private:
    QString path_;
};

// Copies folder/backup.cab to media/backup.cab with the guarantees above.
// Returns false (and leaves the media as it was) when the copy fails or is
// not identical to the local cabinet.
bool copyBackupToMedia(const QString& programFolder, const QString& mediaFolder);

enum class MediaFetch { Copied, Missing, Failed };
// Brings media/backup.cab to folder/backup.cab with the guarantees above.
MediaFetch fetchBackupFromMedia(const QString& mediaFolder, const QString& programFolder);

struct ArchiveTables {
    std::function<void()> close;
    std::function<void()> open;
};

// `BitBtn4Click` and `BitBtn5Click` without the window: messages through
// platform::prompts(). The backup returns whether the copy reached the media.
bool backupToMedia(const QString& programFolder, const QString& mediaFolder,
                   const ArchiveTables& tables);
void restoreFromMedia(const QString& programFolder, const QString& mediaFolder,
                      const ArchiveTables& tables);

}  // namespace maintenance
