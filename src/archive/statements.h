// The SQL statements the program runs over the archive, in SQLite's dialect.
// Values are bound parameters, never spliced into the text. The issue key is
// split with substr(): substr(barcode2, 1, 13) is the magazine's barcode,
// substr(barcode2, 14, 5) the issue number.
#pragma once

#include <QString>

namespace archive::statements {

// Cascade delete of a magazine: ?1 = its barcode.
inline const QString kCountStock = QStringLiteral(
    "select count(barcode2) from giacenza3 where substr(barcode2, 1, 13) = ?1");
inline const QString kDeleteStock =
    QStringLiteral("delete from giacenza3 where substr(barcode2, 1, 13) = ?1");
inline const QString kDeleteJournal =
    QStringLiteral("delete from giornale3 where substr(barcode2, 1, 13) = ?1");

// Duplicate test of the magazine registry: ?1 = barcode.
inline const QString kFindBarcode = QStringLiteral("select barcode from riviste3 where barcode = ?1");

// Movements of one issue, oldest first: ?1 = issue key.
inline const QString kIssueHistory =
    QStringLiteral("select * from giornale3 where barcode2 = ?1 order by data");

// Stock records with their magazine (print dataset Stampa1).
inline const QString kStampa1 = QStringLiteral(
    "select riviste3.nome, giacenza3.barcode2, substr(giacenza3.barcode2, 14, 5) as numero,\n"
    "    riviste3.fornitore, riviste3.periodicit, giacenza3.prezzo, giacenza3.acquisto,"
    " giacenza3.ucarico, giacenza3.giacenza, giacenza3.scadenza\n"
    "from giacenza3, riviste3\n"
    "where substr(giacenza3.barcode2, 1, 13) = riviste3.barcode\n"
    "order by riviste3.nome, numero");

// Journal records with their magazine (print datasets Stampa2 and Stampa3).
inline const QString kMovementColumns = QStringLiteral(
    "select riviste3.nome, substr(giornale3.barcode2, 14, 5) as numero,\n"
    "    riviste3.fornitore, riviste3.periodicit, giornale3.data, giornale3.quantita,\n"
    "    giornale3.prezzo, giornale3.quantita*giornale3.prezzo as valore_v,\n"
    "    giornale3.acquisto, giornale3.quantita*giornale3.acquisto as valore_a,\n"
    "    giornale3.tipo, giornale3.barcode2 as gruppo\n"
    "from giornale3, riviste3\n");
inline const QString kStampa2Where =
    QStringLiteral("where substr(giornale3.barcode2, 1, 13) = riviste3.barcode\n");
inline const QString kStampa2Order = QStringLiteral("order by giornale3.data, giornale3.tipo, gruppo\n");
inline const QString kStampa2 = kMovementColumns + kStampa2Where + kStampa2Order;
inline const QString kStampa3Where = QStringLiteral(
    "where substr(giornale3.barcode2, 1, 13) = riviste3.barcode and\n"
    "giornale3.tipo = 'R'\n");
inline const QString kStampa3Order =
    QStringLiteral("order by giornale3.data, riviste3.fornitore, gruppo\n");
inline const QString kStampa3 = kMovementColumns + kStampa3Where + kStampa3Order;
// What a movement list asks for, added to the conditions above: the dates,
// so that the journal's date index finds them, and the supplier, so that
// only its rows are sorted. ?1 = first day, ?2 = last day, ?3 = supplier.
// The supplier's "+" keeps its index out of the plan: looked up first, the
// supplier's magazines would each walk the whole journal.
inline const QString kMovementsFrom = QStringLiteral("and giornale3.data >= ?1\n");
inline const QString kMovementsTo = QStringLiteral("and giornale3.data <= ?2\n");
inline const QString kMovementsSupplier = QStringLiteral("and +riviste3.fornitore = ?3\n");

// Text export of the stock (giacenza.txt).
inline const QString kExportStock = QStringLiteral(
    "select riviste3.nome, substr(giacenza3.barcode2, 14, 5) as numero,\n"
    "    riviste3.fornitore, riviste3.prezzo, giacenza3.ucarico, giacenza3.giacenza\n"
    "from giacenza3, riviste3\n"
    "where substr(giacenza3.barcode2, 1, 13) = riviste3.barcode\n"
    "order by riviste3.nome, numero");

// Text export of the movements (movimenti.txt).
inline const QString kExportMovements = QStringLiteral(
    "select giornale3.data, riviste3.nome, substr(giornale3.barcode2, 14, 5) as numero,\n"
    "    riviste3.fornitore, giornale3.quantita, giornale3.prezzo, giornale3.tipo\n"
    "from giornale3, riviste3\n"
    "where substr(giornale3.barcode2, 1, 13) = riviste3.barcode\n"
    "order by giornale3.data, giornale3.tipo, riviste3.nome");

// Upgrade from version 2: the two fields version 3 added.
inline const QString kUpgradePeriodicity = QStringLiteral("update riviste3 set periodicit = 'S'");
inline const QString kUpgradeReturnBy =
    QStringLiteral("update giacenza3 set scadenza = ucarico + 15");

}  // namespace archive::statements
