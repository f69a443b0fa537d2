// The index rebuild of the Backup page ("Ricostruzione indici"): each of the
// three tables is packed (deleted records leave the file) and its production
// index regenerated, in the order riviste3, giornale3, giacenza3; the indexes
// are those of the schema, in its order (BARCODE, FORNITORE, NOME; DATA;
// BARCODE2).
//
// Safer than deleting the index first: the pack writes the packed table
// beside the old one and swaps it in, and the index follows from the table's
// change marker, so a failure or a kill at any step leaves each table
// openable with a complete index. Only a table whose index does not hold
// exactly the schema's tags has its index file dropped and made anew.
//
// Before anything is touched, each table is opened exclusively once: a table
// held open by another process is refused with a clear error and nothing
// changes.
#pragma once

#include "maintenance/media_backup.h"

#include <QString>
#include <functional>

namespace maintenance {

inline const QString kRebuildDone = QStringLiteral("   RICOSTRUZIONE effettuata   ");
inline const QString kPackFailed = QStringLiteral("Errore su PACK e REINDEX di ");

// Opens each of the three tables exclusively and lets it go again: raises,
// naming the file, when another program holds one. Changes nothing.
void requireTablesFree(const QString& folder);

// `progress` gets the text of the progress caption after every step
// ("... riviste3", then "... riviste3 ... OK").
using RebuildProgress = std::function<void(const QString& caption)>;

// Packs and re-indexes the three tables of `folder`, which must be closed in
// this process. A pack that fails shows kPackFailed and the name in the plain
// message box, and the rebuild goes on; anything else raises.
void rebuildIndexes(const QString& folder, const RebuildProgress& progress);

// `BitBtn3Click` without the window: close, rebuild, reopen, final message.
void BitBtn3Click(const QString& folder, const ArchiveTables& tables,
                  const RebuildProgress& progress);

}  // namespace maintenance
