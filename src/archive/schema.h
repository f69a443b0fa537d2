// The archive's three tables, their fields and indexes, the codes they hold,
// and the issue key that ties stock and journal records to their magazine.
//
// Physical column order is the version-2 order followed by the fields version
// 3 added (PERIODICIT, SCADENZA), so the upgrade can copy records field by
// position. Widths hold signed quantities of nine digits, prices with two
// decimals and costs with six.
#pragma once

#include <QDate>
#include <QString>
#include <QStringView>
#include <vector>

namespace archive {

// Field names, each written once: windows and rules name a field through
// these, so a misspelt name is a compile error rather than a failed look-up.
// NOME, NUMERO and BARCODE of stock and journal records are the data module's
// calculated fields.
namespace fields {
inline const QString BARCODE2 = QStringLiteral("BARCODE2");
inline const QString BARCODE = QStringLiteral("BARCODE");
inline const QString NOME = QStringLiteral("NOME");
inline const QString PREZZO = QStringLiteral("PREZZO");
inline const QString FORNITORE = QStringLiteral("FORNITORE");
inline const QString ACQUISTO = QStringLiteral("ACQUISTO");
inline const QString PERIODICIT = QStringLiteral("PERIODICIT");
inline const QString GIACENZA = QStringLiteral("GIACENZA");
inline const QString UCARICO = QStringLiteral("UCARICO");
inline const QString SCADENZA = QStringLiteral("SCADENZA");
inline const QString DATA = QStringLiteral("DATA");
inline const QString QUANTITA = QStringLiteral("QUANTITA");
inline const QString TIPO = QStringLiteral("TIPO");
inline const QString NUMERO = QStringLiteral("NUMERO");
}  // namespace fields

struct FieldSpec {
    QString name;
    char type = 'C';  // dBASE type: C, N, F, D
    int length = 0;
    int decimals = 0;
    QString label;          // column title; the field name when empty
    QString displayFormat;  // number picture for display
    QString editFormat;     // number picture while editing
};

struct TableSpec {
    QString fileName;  // as the files are named on disk, e.g. "Riviste3.DBF"
    QString sqlName;   // e.g. "riviste3"
    std::vector<FieldSpec> fields;
    std::vector<QString> tags;  // production index tags, each on the field of the same name
};

const TableSpec& riviste3();
const TableSpec& giacenza3();
const TableSpec& giornale3();
const std::vector<const TableSpec*>& allTables();

// Issue key: the code as scanned, 8, 13, 15 or 18 characters.
bool isIssueKeyLength(qsizetype length);
QString magazineBarcode(QStringView issueKey);  // first 13 characters (all of a shorter key)
QString issueNumber(QStringView issueKey);      // characters 14 to 18, as far as they exist

// Movement types of the journal.
inline const QString kCarico = QStringLiteral("C");
inline const QString kScarico = QStringLiteral("S");
inline const QString kReso = QStringLiteral("R");
QString movementName(QStringView tipo);  // "Carico", "Scarico", "Reso"; empty for others

struct Periodicity {
    QString code;
    QString registryName;   // as the magazine registry lists it
    QString newMagazineName;  // as the new-magazine window lists it; empty when not offered
};
const std::vector<Periodicity>& periodicities();  // the nine codes in their listing order

// fn_scadenza: the return-by date of a stock-in on `date` for a magazine of
// periodicity `letter`, compared exactly (upper case only).
QDate fn_scadenza(QStringView letter, const QDate& date);

}  // namespace archive
