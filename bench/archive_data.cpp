#include "archive_data.h"

#include "archive/archive_files.h"
#include "archive/dbase/table.h"
#include "archive/schema.h"

#include <QDate>
#include <QFile>
#include <sqlite3.h>

#include <random>
#include <stdexcept>

namespace bench {
namespace {

dbase::DbfLayout layoutFor(const QString& path, const archive::TableSpec& def) {
    std::vector<dbase::Field> fields;
    for (const archive::FieldSpec& f : def.fields) {
        dbase::Field field;
        field.name = f.name;
        field.type = f.type;
        field.length = f.length;
        field.decimals = f.decimals;
        for (const QString& tag : def.tags) field.tagged = field.tagged || tag == f.name;
        fields.push_back(field);
    }
    dbase::DbfLayout layout(path, fields);
    layout.productionIndex = true;
    layout.lastUpdate = QDate::currentDate();
    return layout;
}

// Writes a table file whose records `fill` makes; no .mdx, so the engine
// builds it from the table at the first open.
template <typename Fill>
void writeTable(const QString& folder, const archive::TableSpec& def, int count, Fill fill) {
    const QString path = archive::tablePath(folder, def);
    QFile::remove(path);
    QFile::remove(dbase::Table::productionIndexPath(path));
    dbase::DbfLayout layout = layoutFor(path, def);
    layout.recordCount = uint32_t(count);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the table");
    file.write(layout.encodeHeader());
    QByteArray chunk;
    for (int i = 0; i < count; ++i) {
        QByteArray record = layout.blankRecord();
        fill(layout, record, i);
        chunk += record;
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    chunk += char(dbase::kEndOfFile);
    file.write(chunk);
    file.close();
    dbase::Table::open(path);  // builds the production index
}

int ean13CheckDigit(const QString& twelve) {
    int sum = 0;
    for (int i = 0; i < 12; ++i) sum += (twelve[i].unicode() - '0') * (i % 2 ? 3 : 1);
    return (10 - sum % 10) % 10;
}

}  // namespace

QString sampleBarcode(int magazine) {
    const QString twelve = QStringLiteral("977%1").arg(100000 + magazine * 7, 7, 10, QLatin1Char('0')) +
                           QStringLiteral("00");
    return twelve + QString::number(ean13CheckDigit(twelve));
}

QString sampleIssueKey(int issue, const ArchiveSize& size) {
    return sampleBarcode(issue % size.magazines) +
           QStringLiteral("%1").arg(issue / size.magazines + 1, 5, 10, QLatin1Char('0'));
}

void writeArchive(const QString& folder, const ArchiveSize& size) {
    std::mt19937 random(42);
    const QStringList words = {"Moto", "Cucina", "Enigmi", "Calcio", "Casa", "Viaggi", "Donna",
                               "Auto", "Scienza", "Storia", "Giardino", "Musica", "Cinema", "Pesca"};
    writeTable(folder, archive::riviste3(), size.magazines, [&](const dbase::DbfLayout& l, QByteArray& r, int i) {
        l.setText(0, r, sampleBarcode(i));
        l.setText(1, r, QStringLiteral("%1 %2 %3").arg(words[i % 14], words[(i / 14) % 14]).arg(i));
        l.setNumber(2, r, 1.5 + (i % 40) * 0.5);
        l.setText(3, r, QStringLiteral("D%1").arg(i % 20, 2, 10, QLatin1Char('0')));
        l.setNumber(4, r, 1.05 + (i % 40) * 0.35);
        l.setText(5, r, QStringLiteral("SMDQ").mid(i % 4, 1));
    });
    const QDate start(2025, 1, 1);
    writeTable(folder, archive::giacenza3(), size.issues, [&](const dbase::DbfLayout& l, QByteArray& r, int i) {
        l.setNumber(0, r, double(random() % 30) - 3);
        l.setNumber(1, r, 1.5 + (i % 40) * 0.5);
        l.setDate(2, r, start.addDays(i % 700));
        l.setText(3, r, sampleIssueKey(i, size));
        l.setNumber(4, r, 1.05 + (i % 40) * 0.35);
        l.setDate(5, r, start.addDays(i % 700 + 30));
    });
    const char types[] = {'C', 'S', 'S', 'S', 'S', 'R'};
    writeTable(folder, archive::giornale3(), size.movements, [&](const dbase::DbfLayout& l, QByteArray& r, int i) {
        const char type = types[random() % 6];
        l.setDate(0, r, start.addDays(int(qint64(i) * size.journalDays / size.movements)));
        l.setNumber(1, r, type == 'C' ? 10 : type == 'S' ? -1 : -3);
        l.setNumber(2, r, 1.5 + (i % 40) * 0.5);
        l.setText(3, r, sampleIssueKey(int(random() % uint32_t(size.issues)), size));
        l.setText(4, r, QString(QLatin1Char(type)));
        l.setNumber(5, r, 1.05 + (i % 40) * 0.35);
    });
}

void writeNativeCopy(const QString& folder, const QString& sqlitePath) {
    QFile::remove(sqlitePath);
    sqlite3* db = nullptr;
    sqlite3_open(sqlitePath.toUtf8().constData(), &db);
    auto exec = [db](const char* sql) {
        char* err = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            const std::string message = err ? err : "sqlite error";
            sqlite3_free(err);
            throw std::runtime_error(message);
        }
    };
    exec("pragma journal_mode=wal; pragma synchronous=full;");
    exec("create table riviste3(barcode text, nome text, prezzo real, fornitore text, acquisto real, periodicit text);"
         "create table giacenza3(giacenza real, prezzo real, ucarico date, barcode2 text, acquisto real, scadenza date);"
         "create table giornale3(data date, quantita real, prezzo real, barcode2 text, tipo text, acquisto real);");
    exec("begin");
    for (const archive::TableSpec* def : archive::allTables()) {
        auto table = dbase::Table::open(archive::tablePath(folder, *def));
        const dbase::DbfLayout& l = table->layout();
        QString insert = QStringLiteral("insert into %1 values(").arg(def->sqlName);
        for (int f = 0; f < l.fieldCount(); ++f) insert += f ? QStringLiteral(",?") : QStringLiteral("?");
        insert += u')';
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, insert.toUtf8().constData(), -1, &st, nullptr);
        QByteArray record;
        for (uint32_t r = 1; r <= table->recordCount(); ++r) {
            table->read(r, record);
            for (int f = 0; f < l.fieldCount(); ++f) {
                switch (l.field(f).type) {
                    case 'C': {
                        const QByteArray t = l.text(f, record).toUtf8();
                        sqlite3_bind_text(st, f + 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
                        break;
                    }
                    case 'D': {
                        const QDate d = l.date(f, record);
                        if (d.isValid()) sqlite3_bind_int64(st, f + 1, d.toJulianDay());
                        else sqlite3_bind_null(st, f + 1);
                        break;
                    }
                    default: sqlite3_bind_double(st, f + 1, l.number(f, record));
                }
            }
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
    }
    exec("commit");
    exec("create index riviste3_barcode on riviste3(barcode); create index riviste3_fornitore on riviste3(fornitore);"
         "create index riviste3_nome on riviste3(nome); create index giacenza3_barcode2 on giacenza3(barcode2);"
         "create index giornale3_data on giornale3(data); analyze;");
    sqlite3_close(db);
}

}  // namespace bench
