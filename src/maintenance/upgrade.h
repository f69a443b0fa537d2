// The conversion of a version-2 installation: its three tables "Riviste.DBF",
// "Giacenza.DBF" and "Giornale.DBF" are copied into the version-3 tables of
// the same folder, and the two fields version 3 added are filled in (every
// magazine weekly, every return-by date fifteen days after the last stock-in).
//
// Guarantees:
//   * each version-3 table is emptied before it is filled, so a second run
//     after a failure does not duplicate records;
//   * records are copied field by position (the version-3 tables keep the
//     version-2 columns first, in the same order);
//   * the version-2 files are deleted only after the copy and both updates
//     have succeeded. Any failure leaves them in place, and the next start
//     converts again from scratch; deleting them first would leave magazines
//     without periodicity and stock without return-by dates for good;
//   * a converted installation is never converted again: a version-2 file
//     that cannot be deleted is renamed to "<name>.convertito", which no
//     start takes for a version-2 archive and no backup packs; when that
//     fails too, Version2NotRemoved names the files and the upgrade does not
//     count as done (a second conversion would empty the version-3 tables
//     and fill them with the old records again).
//
// The version-3 tables must exist (a ready installation has them); the
// conversion does not create them. It runs before the data module exists:
// no table of the folder may be open elsewhere in the process.
#pragma once

#include "platform/error.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace maintenance {

inline const QString kUpgradeDoneText = QStringLiteral("AGGIORNAMENTO ULTIMATO !!!");
inline const QString kUpgradeFailedText =
    QStringLiteral("Aggiornamento non completato! Errori negli archivi");

// The version-2 table files, in the order they are converted.
inline const QStringList kVersion2Tables = {
    QStringLiteral("Riviste.DBF"), QStringLiteral("Giacenza.DBF"), QStringLiteral("Giornale.DBF")};

// True when `folder` holds "Riviste.dbf", its name compared without regard
// to case: the mark of a version-2 installation not yet converted.
bool hasVersion2Archive(const QString& folder);

// The file `name` of `folder` whatever the case of its name on disk; the
// path with `name` as given when there is none.
QString fileNoCase(const QString& folder, const QString& name);

inline const QString kConvertedSuffix = QStringLiteral(".convertito");

// The version-2 files that could be neither deleted nor renamed.
class Version2NotRemoved : public platform::FileError {
  public:
    using platform::FileError::FileError;
};

// How the conversion gets rid of a version-2 file: platform::removeFile and
// platform::replaceFile unless a test sets others.
struct Version2Disposal {
    std::function<bool(const QString& path)> remove;
    std::function<bool(const QString& from, const QString& to)> rename;
};

// Runs the conversion. Raises the engine's error when a table is missing or
// damaged, a record does not fit, or an update fails; the version-2 files
// are then untouched. Raises Version2NotRemoved after a conversion whose
// version-2 files could not all be deleted or renamed.
void upgradeVersion2(const QString& folder, const Version2Disposal& disposal = {});

}  // namespace maintenance
