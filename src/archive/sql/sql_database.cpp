#include "archive/sql/sql_database.h"

#include "archive/dbase/engine_error.h"
#include "archive/dbase/table.h"

#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

#include <map>
#include <optional>

namespace sql {
namespace {

using dbase::DbfLayout;
using dbase::Field;
using dbase::Table;

// The table behind one SQL name, held for as long as the virtual table exists.
struct VTab {
    sqlite3_vtab base{};
    std::shared_ptr<Table> table;
};

// idxNum of a plan: how xFilter finds its rows.
enum Plan { kFullScan = 0, kIndexEqual = 1, kBytesEqual = 2 };

struct VCursor {
    sqlite3_vtab_cursor base{};
    VTab* tab = nullptr;
    int plan = kFullScan;
    int tag = -1;       // kIndexEqual
    int field = -1;     // kBytesEqual
    QByteArray wanted;  // the key or the padded field bytes looked for
    std::optional<dbase::IndexEntry> entry;
    uint32_t recno = 0;
    bool eof = true;
    QByteArray record;
};

void setError(sqlite3_vtab* vtab, const QString& message) {
    sqlite3_free(vtab->zErrMsg);
    vtab->zErrMsg = sqlite3_mprintf("%s", message.toUtf8().constData());
}

template <typename F>
int guarded(sqlite3_vtab* vtab, F&& body) {
    try {
        body();
        return SQLITE_OK;
    } catch (const platform::Error& e) {
        setError(vtab, e.message());
    } catch (const std::exception& e) {
        setError(vtab, QString::fromLocal8Bit(e.what()));
    }
    return SQLITE_ERROR;
}

QString columnType(const Field& f) {
    switch (f.type) {
        case 'C': return QStringLiteral("TEXT");
        case 'D': return QStringLiteral("DATE");
        case 'L': return QStringLiteral("BOOLEAN");
        default: return QStringLiteral("REAL");
    }
}

int xConnect(sqlite3* db, void*, int argc, const char* const* argv, sqlite3_vtab** out,
             char** err) {
    if (argc < 4) {
        *err = sqlite3_mprintf("dbase: missing table path");
        return SQLITE_ERROR;
    }
    QString path = QString::fromUtf8(argv[3]);
    if (path.size() >= 2 && path.startsWith(QLatin1Char('\'')) && path.endsWith(QLatin1Char('\'')))
        path = path.mid(1, path.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
    auto tab = std::make_unique<VTab>();
    try {
        tab->table = Table::open(path);
    } catch (const platform::Error& e) {
        *err = sqlite3_mprintf("%s", e.message().toUtf8().constData());
        return SQLITE_ERROR;
    }
    QStringList columns;
    for (const Field& f : tab->table->layout().fields())
        columns << QStringLiteral("\"%1\" %2").arg(f.name, columnType(f));
    const QByteArray ddl = QStringLiteral("CREATE TABLE x(%1)").arg(columns.join(u',')).toUtf8();
    const int rc = sqlite3_declare_vtab(db, ddl.constData());
    if (rc != SQLITE_OK) return rc;
    *out = &tab.release()->base;
    return SQLITE_OK;
}

int xDisconnect(sqlite3_vtab* vtab) {
    delete reinterpret_cast<VTab*>(vtab);
    return SQLITE_OK;
}

int xBestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
    const Table& table = *reinterpret_cast<VTab*>(vtab)->table;
    const DbfLayout& layout = table.layout();
    int bytesCandidate = -1;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto& c = info->aConstraint[i];
        if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ || c.iColumn < 0) continue;
        const Field& f = layout.field(c.iColumn);
        const int tag = table.findTag(f.name);
        if (tag >= 0 && table.tagField(tag) == c.iColumn && (f.type == 'C' || f.type == 'D')) {
            info->idxNum = kIndexEqual | (tag << 8);
            info->aConstraintUsage[i].argvIndex = 1;
            info->aConstraintUsage[i].omit = 0;  // SQLite checks again: keys are padded
            info->estimatedCost = 20;
            info->estimatedRows = 10;
            return SQLITE_OK;
        }
        if (f.type == 'C' && bytesCandidate < 0) bytesCandidate = i;
    }
    const double rows = std::max<double>(1, table.recordCount());
    if (bytesCandidate >= 0) {
        const int column = info->aConstraint[bytesCandidate].iColumn;
        info->idxNum = kBytesEqual | (column << 8);
        info->aConstraintUsage[bytesCandidate].argvIndex = 1;
        info->aConstraintUsage[bytesCandidate].omit = 0;
        info->estimatedCost = rows * 0.5;
        info->estimatedRows = std::max<sqlite3_int64>(1, sqlite3_int64(rows / 100));
        return SQLITE_OK;
    }
    info->idxNum = kFullScan;
    info->estimatedCost = rows;
    info->estimatedRows = sqlite3_int64(rows);
    return SQLITE_OK;
}

int xOpen(sqlite3_vtab* vtab, sqlite3_vtab_cursor** out) {
    auto* cursor = new VCursor;
    cursor->tab = reinterpret_cast<VTab*>(vtab);
    *out = &cursor->base;
    return SQLITE_OK;
}

int xClose(sqlite3_vtab_cursor* cur) {
    delete reinterpret_cast<VCursor*>(cur);
    return SQLITE_OK;
}

bool isLive(const QByteArray& record) {
    return !record.isEmpty() && record.at(0) != dbase::kDeletedFlag;
}

// Moves to the next row at or after the cursor's position that the plan accepts.
void settle(VCursor* c) {
    Table& table = *c->tab->table;
    if (c->plan == kIndexEqual) {
        dbase::MdxIndex& index = *table.index();
        while (c->entry && c->entry->key == c->wanted) {
            if (table.read(c->entry->recno, c->record) && isLive(c->record)) {
                c->recno = c->entry->recno;
                return;
            }
            c->entry = index.next(c->tag, *c->entry);
        }
        c->eof = true;
        return;
    }
    const uint32_t count = table.recordCount();
    for (; c->recno <= count; ++c->recno) {
        if (!table.read(c->recno, c->record) || !isLive(c->record)) continue;
        if (c->plan == kBytesEqual && table.layout().bytes(c->field, c->record) != c->wanted)
            continue;
        return;
    }
    c->eof = true;
}

// The bytes a C field holds when its text equals `value`; nullopt when none can.
std::optional<QByteArray> paddedField(const DbfLayout& layout, int field, sqlite3_value* value) {
    if (sqlite3_value_type(value) == SQLITE_NULL) return std::nullopt;
    const QString text = QString::fromUtf8(
        reinterpret_cast<const char*>(sqlite3_value_text(value)), sqlite3_value_bytes(value));
    QByteArray record = layout.blankRecord();
    try {
        layout.setText(field, record, text);
    } catch (const platform::Error&) {
        return std::nullopt;  // longer than the field or not storable: no row has it
    }
    return layout.bytes(field, record).toByteArray();
}

int xFilter(sqlite3_vtab_cursor* cur, int idxNum, const char*, int argc, sqlite3_value** argv) {
    auto* c = reinterpret_cast<VCursor*>(cur);
    return guarded(cur->pVtab, [&] {
        Table& table = *c->tab->table;
        table.catchUp();
        c->plan = idxNum & 0xFF;
        c->eof = false;
        c->recno = 1;
        c->entry.reset();
        if (c->plan == kIndexEqual && argc == 1) {
            c->tag = idxNum >> 8;
            const Field& f = table.layout().field(table.tagField(c->tag));
            std::optional<QByteArray> key;
            if (f.type == 'D') {
                if (sqlite3_value_type(argv[0]) != SQLITE_NULL)
                    key = table.searchKey(c->tag, QDate::fromJulianDay(sqlite3_value_int64(argv[0])));
            } else if (sqlite3_value_type(argv[0]) != SQLITE_NULL) {
                key = table.searchKey(c->tag, QString::fromUtf8(reinterpret_cast<const char*>(
                                                                  sqlite3_value_text(argv[0]))));
            }
            if (!key) {
                c->eof = true;
                return;
            }
            c->wanted = *key;
            c->entry = table.index()->seek(c->tag, c->wanted);
        } else if (c->plan == kBytesEqual && argc == 1) {
            c->field = idxNum >> 8;
            const auto bytes = paddedField(table.layout(), c->field, argv[0]);
            if (!bytes) {
                c->eof = true;
                return;
            }
            c->wanted = *bytes;
        } else {
            c->plan = kFullScan;
        }
        settle(c);
    });
}

int xNext(sqlite3_vtab_cursor* cur) {
    auto* c = reinterpret_cast<VCursor*>(cur);
    return guarded(cur->pVtab, [&] {
        if (c->plan == kIndexEqual) {
            c->entry = c->tab->table->index()->next(c->tag, *c->entry);
        } else {
            ++c->recno;
        }
        settle(c);
    });
}

int xEof(sqlite3_vtab_cursor* cur) { return reinterpret_cast<VCursor*>(cur)->eof; }

int xColumn(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int column) {
    auto* c = reinterpret_cast<VCursor*>(cur);
    const DbfLayout& layout = c->tab->table->layout();
    const Field& f = layout.field(column);
    if (f.type != 'C' && layout.isBlank(column, c->record)) {
        sqlite3_result_null(ctx);
        return SQLITE_OK;
    }
    switch (f.type) {
        case 'C': {
            // Most stored text is ASCII: hand SQLite the field's own bytes,
            // trailing blanks cut, and convert only what needs it.
            const QByteArrayView bytes = layout.bytes(column, c->record);
            qsizetype size = bytes.size();
            while (size > 0 && bytes[size - 1] == ' ') --size;
            bool ascii = true;
            for (qsizetype b = 0; b < size && ascii; ++b)
                ascii = static_cast<unsigned char>(bytes[b]) < 0x80;
            if (ascii) {
                sqlite3_result_text(ctx, bytes.data(), int(size), SQLITE_TRANSIENT);
            } else {
                const QByteArray utf8 = layout.text(column, c->record).toUtf8();
                sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            }
            break;
        }
        case 'D': {
            const QDate d = layout.date(column, c->record);
            if (d.isValid())
                sqlite3_result_int64(ctx, d.toJulianDay());
            else
                sqlite3_result_null(ctx);
            break;
        }
        case 'L':
            sqlite3_result_int(ctx, layout.logical(column, c->record) ? 1 : 0);
            break;
        default:
            sqlite3_result_double(ctx, layout.number(column, c->record));
    }
    return SQLITE_OK;
}

int xRowid(sqlite3_vtab_cursor* cur, sqlite3_int64* rowid) {
    *rowid = reinterpret_cast<VCursor*>(cur)->recno;
    return SQLITE_OK;
}

// Stores an SQL value into field `i` of `record`, by the field's type.
void storeValue(const DbfLayout& layout, int i, QByteArray& record, sqlite3_value* value) {
    const Field& f = layout.field(i);
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        layout.clear(i, record);
        return;
    }
    switch (f.type) {
        case 'C':
            layout.setText(i, record,
                           QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                             sqlite3_value_bytes(value)));
            break;
        case 'D': {
            const int type = sqlite3_value_type(value);
            QDate d;
            if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
                d = QDate::fromJulianDay(qint64(sqlite3_value_double(value)));
            else
                d = QDate::fromString(QString::fromUtf8(reinterpret_cast<const char*>(
                                          sqlite3_value_text(value))),
                                      Qt::ISODate);
            if (!d.isValid())
                throw dbase::EngineError(
                    QStringLiteral("Invalid date for field %1 in %2").arg(f.name, layout.path()));
            layout.setDate(i, record, d);
            break;
        }
        case 'L':
            layout.setLogical(i, record, sqlite3_value_int(value) != 0);
            break;
        default:
            layout.setNumber(i, record, sqlite3_value_double(value));
    }
}

int xUpdate(sqlite3_vtab* vtab, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
    Table& table = *reinterpret_cast<VTab*>(vtab)->table;
    return guarded(vtab, [&] {
        const DbfLayout& layout = table.layout();
        if (argc == 1) {
            table.markDeleted(uint32_t(sqlite3_value_int64(argv[0])));
            return;
        }
        const bool insert = sqlite3_value_type(argv[0]) == SQLITE_NULL;
        if (!insert && sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1]))
            throw dbase::EngineError(
                QStringLiteral("Record numbers cannot be changed in %1").arg(layout.path()));
        QByteArray record;
        if (insert) {
            record = layout.blankRecord();
        } else if (!table.read(uint32_t(sqlite3_value_int64(argv[0])), record)) {
            throw dbase::EngineError(QStringLiteral("Record not found in %1").arg(layout.path()));
        }
        for (int i = 0; i < layout.fieldCount() && i + 2 < argc; ++i)
            storeValue(layout, i, record, argv[i + 2]);
        if (insert)
            *rowid = table.append(record);
        else
            table.update(uint32_t(sqlite3_value_int64(argv[0])), record);
    });
}

int xRename(sqlite3_vtab*, const char*) { return SQLITE_ERROR; }

sqlite3_module makeModule() {
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = xConnect;
    m.xConnect = xConnect;
    m.xBestIndex = xBestIndex;
    m.xDisconnect = xDisconnect;
    m.xDestroy = xDisconnect;
    m.xOpen = xOpen;
    m.xClose = xClose;
    m.xFilter = xFilter;
    m.xNext = xNext;
    m.xEof = xEof;
    m.xColumn = xColumn;
    m.xRowid = xRowid;
    m.xUpdate = xUpdate;
    m.xRename = xRename;
    return m;
}

const sqlite3_module kModule = makeModule();

QString quoted(const QString& s, QChar q) {
    QString doubled = s;
    doubled.replace(q, QString(2, q));
    return q + doubled + q;
}

void exec(sqlite3* db, const QString& statement) {
    char* err = nullptr;
    if (sqlite3_exec(db, statement.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString message = QString::fromUtf8(err ? err : sqlite3_errmsg(db));
        sqlite3_free(err);
        throw dbase::EngineError(message);
    }
}

}  // namespace

struct Database::Known {
    std::map<QString, QString> tables;  // SQL name -> file path
};

Database::Database(QString folder) : folder_(std::move(folder)), known_(std::make_unique<Known>()) {
    if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_close(db_);
        throw dbase::EngineError(QStringLiteral("Cannot open the SQL engine: %1").arg(message));
    }
    sqlite3_create_module(db_, "dbase", &kModule, nullptr);
    // The connection holds no data of its own: sorts of big results stay in
    // memory rather than going through temporary files.
    exec(db_, QStringLiteral("pragma temp_store = memory; pragma cache_size = -65536"));
}

Database::~Database() {
    sqlite3_close(db_);
}

void Database::refreshTables() {
    const QFileInfoList files =
        QDir(folder_).entryInfoList({QStringLiteral("*.dbf")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    std::map<QString, QString> now;
    for (const QFileInfo& f : files) now.emplace(f.completeBaseName().toLower(), f.absoluteFilePath());
    if (now == known_->tables) return;
    for (const auto& [name, path] : known_->tables) {
        auto it = now.find(name);
        if (it == now.end() || it->second != path)
            exec(db_, QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(quoted(name, u'"')));
    }
    QStringList failed;
    for (const auto& [name, path] : now) {
        auto it = known_->tables.find(name);
        if (it != known_->tables.end() && it->second == path) continue;
        try {
            exec(db_, QStringLiteral("CREATE VIRTUAL TABLE temp.%1 USING dbase(%2)")
                          .arg(quoted(name, u'"'), quoted(path, u'\'')));
        } catch (const platform::Error&) {
            // A file that does not open as a table is no SQL table; a statement
            // that names it reports "no such table". Tried again next time.
            failed << name;
        }
    }
    for (const QString& name : failed) now.erase(name);
    known_->tables = std::move(now);
}

void Database::releaseTables() {
    for (const auto& [name, path] : known_->tables)
        exec(db_, QStringLiteral("DROP TABLE IF EXISTS temp.%1").arg(quoted(name, u'"')));
    known_->tables.clear();
}

}  // namespace sql
