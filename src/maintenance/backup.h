// The backup made at every orderly shutdown and the recovery offered at start
// when the archives cannot be opened: the part that works on files.
//
// backup.cab in the program folder holds every "*.dbf", "*.mdx" and "*.frf"
// file of that folder (any case, none from subfolders) under its bare name.
// A file whose name no cabinet could give back (a backslash in it, a control
// character) is left out and named in the result, so that one stray file
// cannot stop every backup; the tables' own names are always storable.
//
// backup.cab is only ever replaced by a complete, checked cabinet: a backup
// that fails leaves the previous one as it was, and its error says so. The
// cabinet it replaces is kept beside it as "backup-YYYYMMDD-HHMMSS.cab"
// (named for the time that cabinet was written, local time), and the
// kBackupHistory most recent of those stay: one bad day cannot replace the
// only good copy. The recovery uses backup.cab; the older ones are for a
// person to restore by hand.
//
// A recovery extracts the whole cabinet aside first and replaces the archives
// only when every file has come out whole, all or nothing; it restores only
// files of those three kinds, so the settings file and the stored password
// never change, and a cabinet that holds none of them restores nothing and
// says so.
//
// Whether the tables are fit to be packed (opened without error in this run)
// is for the caller to decide before it calls makeShutdownBackup().
//
// The windows (warnings, the question, the speed bar and the status text) are
// the shell's; the texts they show are here, exactly as the operator sees
// them.
#pragma once

#include <QString>
#include <QStringList>

namespace maintenance {

inline const QString kBackupFileName = QStringLiteral("backup.cab");
inline const QStringList kBackupMasks = {QStringLiteral("*.dbf"), QStringLiteral("*.mdx"),
                                         QStringLiteral("*.frf")};

// Shutdown with a table that is not open: one warning per closed table, in
// this order, then the hint in the plain message box; no backup.
inline const QString kRivisteDamaged = QStringLiteral("   Archivio RIVISTE danneggiato !!!   ");
inline const QString kGiacenzaDamaged = QStringLiteral("   Archivio GIACENZA danneggiato !!!   ");
inline const QString kGiornaleDamaged = QStringLiteral("   Archivio GIORNALE danneggiato !!!   ");
inline const QString kRepairHint = QStringLiteral(
    "Potete cercare di riparare l'archivio manualmente.\r\n"
    "Oppure, riavviando il programma, il sistema ripristinerà\r\n"
    "gli archivi dell'ultimo spegnimento valido.");
// Status bar text while the backup is written.
inline const QString kClosingStatus = QStringLiteral("Chiusura in corso ... attendere");
// Question asked when the archives cannot be opened at start.
inline const QString kRecoveryQuestion = QStringLiteral(
    "   ERRORE IRREVERSIBILE sugli archivi! RECUPERO archivi dell'ultimo spegnimento valido ?   ");
// Added under the cabinet error when a backup fails.
inline const QString kPreviousBackupKept =
    QStringLiteral("Il backup precedente (backup.cab) è rimasto intatto.");
inline const QString kNoBackupKept = QStringLiteral("Non esiste alcun backup precedente.");

// The older cabinets kept beside backup.cab.
inline constexpr int kBackupHistory = 7;

// Shown at shutdown when the tables were not opened cleanly in this run: they
// are not packed, so that backup.cab keeps the last good copy.
inline const QString kTablesNotOpenedCleanly = QStringLiteral(
    "   Gli archivi non sono stati aperti correttamente: backup.cab non viene aggiornato.   ");

// The warning that names the files left out of a backup.
QString skippedFilesWarning(const QStringList& names);

struct BackupResult {
    QString cabinetPath;
    QStringList files;    // as stored, in order
    QStringList skipped;  // left out: their names cannot be stored
    QString previous;     // where the cabinet replaced was kept; empty if there was none
};

// Packs the archive and template files of `folder` into folder/backup.cab.
// Throws CabinetError (with kPreviousBackupKept or kNoBackupKept as its last
// line) when the backup cannot be made.
BackupResult makeShutdownBackup(const QString& folder);

// Restores the archive and template files of folder/backup.cab into `folder`.
// Returns the names restored. Throws CabinetError ("Cabinet not found" when
// there is no backup) and then has changed nothing.
QStringList restoreBackup(const QString& folder);

}  // namespace maintenance
