// A version-2 installation in a scratch folder: the three old tables with
// their own (narrower) widths and known rows, beside the version-3 tables of
// a ready installation.
#pragma once

#include "archive/archive_files.h"
#include "archive/dbase/table.h"
#include "archive/sql/query.h"
#include "archive/sql/sql_database.h"
#include "support/table_support.h"

#include <QDate>
#include <QDir>
#include <QVariantList>

namespace upgrade_test {

using dbase::test::field;

inline int runSql(const QString& folder, const QString& text, const QVariantList& values = {}) {
    sql::Database db(folder);
    sql::Query q(db);
    q.setText(text);
    for (int i = 0; i < values.size(); ++i) q.bind(i + 1, values[i]);
    const int n = q.execute();
    db.releaseTables();
    return n;
}

inline QStringList rows(const QString& folder, const QString& text) {
    sql::Database db(folder);
    sql::Query q(db);
    q.setText(text);
    q.open();
    QStringList out;
    for (q.first(); !q.eof(); q.next()) {
        QStringList values;
        for (int f = 0; f < q.fieldCount(); ++f) {
            const QVariant v = q.value(f);
            values << (v.typeId() == QMetaType::QDate ? v.toDate().toString(Qt::ISODate)
                                                      : v.toString());
        }
        out << values.join(QLatin1Char('|'));
    }
    q.close();
    db.releaseTables();
    return out;
}

// The version-3 tables, empty, and the version-2 ones named as an old
// installation names them. `lastStockIn` is the UCARICO of the first stock
// record.
inline void makeVersion2Installation(const QString& folder,
                                     const QDate& lastStockIn = QDate(2003, 5, 10)) {
    archive::createMissingTables(folder);
    const QDir dir(folder);
    dbase::Table::create(
        dir.filePath(QStringLiteral("Riviste.DBF")),
        {field("BARCODE", 'C', 13), field("NOME", 'C', 30), field("PREZZO", 'N', 7, 2),
         field("FORNITORE", 'C', 3), field("ACQUISTO", 'N', 12, 6)},
        {QStringLiteral("BARCODE")});
    dbase::Table::create(
        dir.filePath(QStringLiteral("Giacenza.DBF")),
        {field("GIACENZA", 'F', 5), field("PREZZO", 'F', 7, 2), field("UCARICO", 'D', 8),
         field("BARCODE2", 'C', 18), field("ACQUISTO", 'F', 12, 6)},
        {QStringLiteral("BARCODE2")});
    dbase::Table::create(
        dir.filePath(QStringLiteral("Giornale.DBF")),
        {field("DATA", 'D', 8), field("QUANTITA", 'N', 5), field("PREZZO", 'N', 7, 2),
         field("BARCODE2", 'C', 18), field("TIPO", 'C', 1), field("ACQUISTO", 'N', 12, 6)},
        {QStringLiteral("DATA")});
    runSql(folder,
           "insert into riviste values ('9771234567003', 'Cucina Facile', 2.5, 'A01', 1.9), "
           "('9779876543002', 'Motori Oggi', 4.9, 'B02', 3.969)");
    runSql(folder,
           "insert into giacenza values (3, 2.5, ?1, '977123456700301', 1.9), "
           "(0, 4.9, null, '977987654300200012', 3.969)",
           {lastStockIn});
    runSql(folder,
           "insert into giornale values (?1, 5, 2.5, '977123456700301', 'C', 1.9), "
           "(?2, -1, 2.5, '977123456700301', 'S', 1.9), (?2, -1, 2.5, '977123456700301', 'S', 1.9)",
           {QDate(2003, 5, 10), QDate(2003, 5, 12)});
}

inline QStringList folderFiles(const QString& folder) {
    return QDir(folder).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
}

}  // namespace upgrade_test
