// The export of stock and movements to two text files for a spreadsheet:
// giacenza.txt and movimenti.txt in the program folder.
//
// Every line, the header too, is its values in double quotation marks joined
// by commas, ended by CR LF, in Windows-1252. Numbers are in the general
// form with the system's decimal sign, dates in the system's short format.
// A double quotation mark inside a value is written twice, the rule every
// spreadsheet reads; any other value is written as it stands.
//
// Each file is written under a temporary name and renamed over the old one
// only when it is complete and on disk: a failed export leaves the previous
// file whole and raises platform::FileError naming the file.
#pragma once

#include <QString>

namespace sql {
class Database;
}

namespace maintenance {

inline const QString kStockExportName = QStringLiteral("giacenza.txt");
inline const QString kMovementExportName = QStringLiteral("movimenti.txt");

// The final message, naming the folder the files are really in.
QString exportDoneText(const QString& programFolder);

// One export line of `values` (without its CR LF).
QString exportLine(const QStringList& values);

// Writes both files into `folder` from the tables of `db`.
void exportArchives(sql::Database& db, const QString& folder);

// `BitBtn2Click` without the window: the export, then the final message.
void BitBtn2Click(sql::Database& db, const QString& folder);

}  // namespace maintenance
