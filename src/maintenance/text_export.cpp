#include "maintenance/text_export.h"

#include "archive/sql/query.h"
#include "platform/cp1252.h"
#include "platform/dates.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/number_format.h"
#include "platform/prompts.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace maintenance {

namespace {

const QStringList kStockQuery = {
    QStringLiteral("select riviste3.nome, substr(giacenza3.barcode2, 14, 5) as numero, "),
    QStringLiteral(
        "    riviste3.fornitore, riviste3.prezzo, giacenza3.ucarico, giacenza3.giacenza"),
    QStringLiteral("from giacenza3, riviste3"),
    QStringLiteral("where substr(giacenza3.barcode2, 1, 13) = riviste3.barcode"),
    QStringLiteral("order by riviste3.nome, numero"),
};
const QStringList kStockHeader = {"RIVISTA", "NUMERO", "FORN.", "PREZZO", "U_CARICO", "GIACENZA"};

const QStringList kMovementQuery = {
    QStringLiteral(
        "select giornale3.data, riviste3.nome, substr(giornale3.barcode2, 14, 5) as numero, "),
    QStringLiteral("    riviste3.fornitore, giornale3.quantita, giornale3.prezzo, giornale3.tipo"),
    QStringLiteral("from giornale3, riviste3"),
    QStringLiteral("where substr(giornale3.barcode2, 1, 13) = riviste3.barcode"),
    QStringLiteral("order by giornale3.data, giornale3.tipo, riviste3.nome"),
};
const QStringList kMovementHeader = {"DATA",      "RIVISTA", "NUMERO", "FORN.",
                                     "QUANTITA'", "PREZZO",  "TIPO"};

QString valueText(const sql::Query& query, int field) {
    if (query.isNull(field)) return {};
    switch (query.fieldType(field)) {
        case sql::Query::FieldType::Number:
            return platform::formatGeneral(query.number(field));
        case sql::Query::FieldType::Date:
            return platform::formatDate(query.date(field));
        case sql::Query::FieldType::Text:
            break;
    }
    return query.text(field);
}

void writeExport(sql::Database& db, const QString& path, const QStringList& statement,
                 const QStringList& header) {
    sql::Query query(db);
    for (const QString& line : statement) query.add(line);
    query.open();

    // Written beside the target and put in its place at the end; the
    // previous file stays until then.
    try {
        platform::DurableFile file(path);
        QByteArray out = platform::cp1252::encode(exportLine(header)) + "\r\n";
        QStringList values;
        for (query.first(); !query.eof(); query.next()) {
            values.clear();
            for (int f = 0; f < query.fieldCount(); ++f) values << valueText(query, f);
            // A character with no Windows-1252 byte cannot be in a table; encode()
            // would name it if one ever were.
            out += platform::cp1252::encode(exportLine(values));
            out += "\r\n";
            if (out.size() >= (1 << 20)) {
                file.write(out);
                out.clear();
            }
        }
        file.write(out);
        file.commit();
    } catch (const platform::FileError& error) {
        throw platform::FileError(QStringLiteral("Impossibile scrivere %1: %2")
                                      .arg(QDir::toNativeSeparators(path),
                                           platform::systemMessage(error.systemError())));
    }
    query.close();
}

}  // namespace

QString exportDoneText(const QString& programFolder) {
    return QStringLiteral(
               "Ho creato i files \"giacenza.txt\" e \"movimenti.txt\" nella cartella \"%1\"")
        .arg(QDir::toNativeSeparators(QDir::cleanPath(programFolder)));
}

QString exportLine(const QStringList& values) {
    QString line;
    line.reserve(16 * values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        line += i == 0 ? QStringLiteral("\"") : QStringLiteral("\",\"");
        QString value = values[i];
        line += value.replace(u'"', QStringLiteral("\"\""));
    }
    line += u'"';
    return line;
}

void exportArchives(sql::Database& db, const QString& folder) {
    const QDir dir(folder);
    writeExport(db, dir.filePath(kStockExportName), kStockQuery, kStockHeader);
    writeExport(db, dir.filePath(kMovementExportName), kMovementQuery, kMovementHeader);
}

void BitBtn2Click(sql::Database& db, const QString& folder) {
    exportArchives(db, folder);
    platform::prompts().warning(exportDoneText(folder));
}

}  // namespace maintenance
