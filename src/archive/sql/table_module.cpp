// The virtual-table module over engine tables: how a table declares its
// columns, how a statement's constraints become a plan (an index look-up, a
// date range walked through a tag, a scan comparing raw bytes, a full scan;
// sorted here or not), how a cursor steps through the rows of its plan, and
// how UPDATE, INSERT and DELETE reach the table. The rules are summed up in
// sql_database.h.
#include "archive/sql/table_module.h"

#include "archive/dbase/engine_error.h"
#include "archive/dbase/table.h"
#include "archive/sql/big_memory.h"
#include "archive/sql/field_values.h"
#include "archive/sql/look_up_cache.h"
#include "archive/sql/row_set.h"
#include "archive/sql/row_sort.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sql {
namespace {

using dbase::DbfLayout;
using dbase::Field;
using dbase::Table;

// The table behind one SQL name, held for as long as the virtual table exists.
struct VTab {
    sqlite3_vtab base{};
    std::shared_ptr<Table> table;
    // Records a DELETE statement has chosen: marked deleted together when it
    // commits, as one durable change (one sync however many), or not at all
    // when it fails.
    std::vector<uint32_t> deletions;
};

// idxNum of a plan: how xFilter finds its rows (low bits), whether it hands
// them out in the ORDER BY order written in idxStr (kSorted), and the tag or
// field of the constraint (bits 8 and up).
enum Plan { kFullScan = 0, kIndexEqual = 1, kBytesEqual = 2, kDateRange = 3 };
constexpr int kPlanMask = 0x0F;
constexpr int kSorted = 0x10;
constexpr int kHasUpperBound = 0x20;  // kDateRange: argv[1] is the last day wanted

struct VCursor {
    sqlite3_vtab_cursor base{};
    VTab* tab = nullptr;
    int plan = kFullScan;
    int tag = -1;             // kIndexEqual, kDateRange
    qint64 lastDay = 0;       // kDateRange: the last day wanted (Julian)
    int field = -1;           // kBytesEqual
    QByteArray wanted;        // the key, or the text's bytes without padding, looked for
    bool wantedText = false;  // kIndexEqual: `wanted` is a text whose padding may vary
    std::optional<dbase::IndexEntry> entry;
    uint32_t recno = 0;
    bool eof = true;
    QByteArray record;          // the row last read from the table
    const char* row = nullptr;  // the current row: `record` or one of `held`

    // Rows handed out from memory (sorted ones, or a cached look-up):
    // held->recnos[order ? order[at] : at] for at in [at, end).
    const RowSet* held = nullptr;
    const uint32_t* order = nullptr;
    size_t at = 0;
    size_t end = 0;

    RowSet sortedRows;
    memory::Array<uint32_t> sortedOrder;
    bool sortedWhole = false;  // sortedRows: the whole table, sorted in this state
    LookUpCache::Stamp sortedStamp;
    std::vector<SortTerm> sortTerms;
    std::string sortTermsText;
    LookUpCache cache;
    std::string text;  // xColumn's text, NUL-terminated

    // Fields of the current row already decoded: SQLite asks for a field as
    // often as the statement names it. Valid while decodedAt[i] == rowSerial.
    uint64_t rowSerial = 1;
    std::vector<FieldValue> decoded;
    std::vector<uint64_t> decodedAt;
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
    } catch (const std::bad_alloc&) {
        return SQLITE_NOMEM;
    } catch (const std::exception& e) {
        setError(vtab, QString::fromLocal8Bit(e.what()));
    }
    return SQLITE_ERROR;
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

// Takes over the ORDER BY when it names only this table's fields and SQLite
// wants the rows in that very order (not just grouped or distinct): the rows
// are then sorted here, in memory, instead of in SQLite's sorter.
void consumeOrderBy(sqlite3_index_info* info) {
    if (info->nOrderBy <= 0 || sqlite3_vtab_distinct(info) != 0) return;
    QByteArray terms;
    for (int i = 0; i < info->nOrderBy; ++i) {
        const auto& o = info->aOrderBy[i];
        if (o.iColumn < 0) return;  // the record number: left to SQLite
        if (i) terms += ',';
        terms += QByteArray::number(o.iColumn);
        if (o.desc) terms += 'd';
    }
    char* idxStr = sqlite3_mprintf("%s", terms.constData());
    if (!idxStr) return;
    info->idxStr = idxStr;
    info->needToFreeIdxStr = 1;
    info->idxNum |= kSorted;
    info->orderByConsumed = 1;
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
            consumeOrderBy(info);
            return SQLITE_OK;
        }
        if (f.type == 'C' && bytesCandidate < 0) bytesCandidate = i;
    }
    const double rows = std::max<double>(1, table.recordCount());
    // A lower bound on a date with a tag (and perhaps an upper one): the tag
    // is walked from the first day on. SQLite checks both bounds again.
    int lower = -1, upper = -1;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < info->nConstraint; ++i) {
            const auto& c = info->aConstraint[i];
            if (!c.usable || c.iColumn < 0 || layout.field(c.iColumn).type != 'D') continue;
            const int tag = table.findTag(layout.field(c.iColumn).name);
            if (tag < 0 || table.tagField(tag) != c.iColumn) continue;
            if (pass == 0 && lower < 0 &&
                (c.op == SQLITE_INDEX_CONSTRAINT_GE || c.op == SQLITE_INDEX_CONSTRAINT_GT))
                lower = i;
            if (pass == 1 && upper < 0 && c.iColumn == info->aConstraint[lower].iColumn &&
                (c.op == SQLITE_INDEX_CONSTRAINT_LE || c.op == SQLITE_INDEX_CONSTRAINT_LT))
                upper = i;
        }
        if (lower < 0) break;
    }
    if (lower >= 0) {
        const int column = info->aConstraint[lower].iColumn;
        info->idxNum = kDateRange | (table.findTag(layout.field(column).name) << 8);
        info->aConstraintUsage[lower].argvIndex = 1;
        if (upper >= 0) {
            info->idxNum |= kHasUpperBound;
            info->aConstraintUsage[upper].argvIndex = 2;
        }
        info->estimatedCost = rows * (upper >= 0 ? 0.05 : 0.25);
        info->estimatedRows = std::max<sqlite3_int64>(1, sqlite3_int64(rows / (upper >= 0 ? 20 : 4)));
        consumeOrderBy(info);
        return SQLITE_OK;
    }
    if (bytesCandidate >= 0) {
        const int column = info->aConstraint[bytesCandidate].iColumn;
        info->idxNum = kBytesEqual | (column << 8);
        info->aConstraintUsage[bytesCandidate].argvIndex = 1;
        info->aConstraintUsage[bytesCandidate].omit = 0;
        info->estimatedCost = rows * 0.5;
        info->estimatedRows = std::max<sqlite3_int64>(1, sqlite3_int64(rows / 100));
        consumeOrderBy(info);
        return SQLITE_OK;
    }
    info->idxNum = kFullScan;
    info->estimatedCost = rows;
    info->estimatedRows = sqlite3_int64(rows);
    consumeOrderBy(info);
    return SQLITE_OK;
}

int xOpen(sqlite3_vtab* vtab, sqlite3_vtab_cursor** out) {
    auto* cursor = new (std::nothrow) VCursor;
    if (!cursor) return SQLITE_NOMEM;
    cursor->tab = reinterpret_cast<VTab*>(vtab);
    const size_t fields = size_t(cursor->tab->table->layout().fieldCount());
    cursor->decoded.resize(fields);
    cursor->decodedAt.assign(fields, 0);
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

constexpr size_t kPrefetchRows = 4;

// Moves to the next row at or after the cursor's position that the plan accepts.
void settle(VCursor* c) {
    Table& table = *c->tab->table;
    ++c->rowSerial;
    if (c->held) {
        if (c->at >= c->end) {
            c->eof = true;
            return;
        }
        const size_t length = size_t(table.layout().recordLength());
        const size_t i = c->order ? c->order[c->at] : c->at;
        c->row = c->held->bytes.data() + i * length;
        c->recno = c->held->recnos[i];
        if (c->order && c->at + kPrefetchRows < c->end) {
            // Sorted rows are scattered over the held records: ask for one
            // a few rows ahead, so that it is in the cache when it is read.
            const char* ahead = c->held->bytes.data() + c->order[c->at + kPrefetchRows] * length;
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + length - 1);
        }
        return;
    }
    c->row = c->record.constData();
    if (c->plan == kDateRange) {
        dbase::MdxIndex& index = *table.index();
        const int field = table.tagField(c->tag);
        for (; c->entry; c->entry = index.next(c->tag, *c->entry)) {
            if (!table.read(c->entry->recno, c->record) || !isLive(c->record)) continue;
            const QDate day = table.layout().date(field, c->record);
            if (!day.isValid()) continue;  // SQLite would refuse it: no day is in a range
            if (day.toJulianDay() > c->lastDay) break;  // the tag is in day order
            c->recno = c->entry->recno;
            c->row = c->record.constData();
            return;
        }
        c->eof = true;
        return;
    }
    if (c->plan == kIndexEqual) {
        dbase::MdxIndex& index = *table.index();
        // Entries of the value with any padding (blanks, NULs) are side by
        // side in the tag, starting at the value followed by NULs.
        const bool text = c->wantedText;
        while (c->entry &&
               (text ? c->entry->key.startsWith(c->wanted) : c->entry->key == c->wanted)) {
            if (text && !holdsPadded(c->entry->key, c->wanted)) {
                c->entry = index.next(c->tag, *c->entry);
                continue;
            }
            if (table.read(c->entry->recno, c->record) && isLive(c->record)) {
                c->recno = c->entry->recno;
                c->row = c->record.constData();
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
        if (c->plan == kBytesEqual &&
            !holdsPadded(table.layout().bytes(c->field, c->record), c->wanted))
            continue;
        c->row = c->record.constData();
        return;
    }
    c->eof = true;
}

// Steps past the current row.
void advance(VCursor* c) {
    if (c->held) {
        ++c->at;
    } else if (c->plan == kIndexEqual || c->plan == kDateRange) {
        c->entry = c->tab->table->index()->next(c->tag, *c->entry);
    } else {
        ++c->recno;
    }
    settle(c);
}

// Reads every row the plan accepts, from where the cursor stands, into `rows`.
void collect(VCursor* c, RowSet& rows) {
    const qsizetype length = c->tab->table->layout().recordLength();
    for (settle(c); !c->eof; advance(c)) rows.add(QByteArrayView(c->row, length), c->recno);
}

// Positions an index plan on the first entry for `value`; false when no record
// can have it.
bool seekIndex(VCursor* c, sqlite3_value* value) {
    Table& table = *c->tab->table;
    const Field& f = table.layout().field(table.tagField(c->tag));
    std::optional<QByteArray> key;
    if (sqlite3_value_type(value) == SQLITE_NULL) return false;
    if (f.type == 'D') {
        key = table.searchKey(c->tag, QDate::fromJulianDay(sqlite3_value_int64(value)));
        if (!key) return false;
        c->wanted = *key;
        c->wantedText = false;
        c->entry = table.index()->seek(c->tag, c->wanted);
        return true;
    }
    key = unpaddedField(table.layout(), table.tagField(c->tag), value);
    if (!key || key->size() > table.index()->tag(c->tag).keyLength) return false;
    c->wanted = *key;
    c->wantedText = true;
    // The lowest key that starts with the value: NUL sorts before any byte.
    QByteArray lowest = *key;
    lowest.append(table.index()->tag(c->tag).keyLength - lowest.size(), '\0');
    c->entry = table.index()->seek(c->tag, lowest);
    return true;
}

// An equality look-up through a character tag, answered from the cursor's
// cache when this statement asked for the same value before and the table
// has not changed since (the caller has just caught up with other processes).
void lookUp(VCursor* c, sqlite3_value* value) {
    Table& table = *c->tab->table;
    LookUpCache& cache = c->cache;
    const LookUpCache::Stamp now = LookUpCache::stampOf(table, c->tag);
    if (!(cache.stamp == now) || cache.bytes() > cache.kMaxBytes) {
        cache.clear();
        cache.stamp = now;
    }
    const std::string_view bound(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                 size_t(sqlite3_value_bytes(value)));
    const LookUpCache::Bucket* found = cache.find(bound);
    if (!found) {
        const size_t first = cache.rows.size();
        if (seekIndex(c, value)) collect(c, cache.rows);
        found = cache.insert(bound, first, cache.rows.size() - first);
    }
    c->held = &cache.rows;
    c->order = nullptr;
    c->at = found->first;
    c->end = size_t(found->first) + found->count;
    c->eof = false;
}

// The ORDER BY of a sorted plan, read from its idxStr once per cursor.
const std::vector<SortTerm>& sortTerms(VCursor* c, const char* idxStr) {
    const std::string_view text(idxStr ? idxStr : "");
    if (text != c->sortTermsText) {
        c->sortTerms = parseTerms(idxStr);
        c->sortTermsText = text;
    }
    return c->sortTerms;
}

// Sorts the rows a cached look-up found (a copy of them: the cache keeps its own).
void sortHeld(VCursor* c, const char* idxStr) {
    const DbfLayout& layout = c->tab->table->layout();
    const size_t length = size_t(layout.recordLength());
    c->sortedRows.clear();
    for (size_t i = c->at; i < c->end; ++i)
        c->sortedRows.add(QByteArrayView(c->held->bytes.data() + i * length, qsizetype(length)),
                          c->held->recnos[i]);
    c->sortedOrder = sortRows(layout, c->sortedRows, sortTerms(c, idxStr));
    c->sortedWhole = false;
    c->held = &c->sortedRows;
    c->order = c->sortedOrder.get();
    c->at = 0;
    c->end = c->sortedRows.size();
}

int xFilter(sqlite3_vtab_cursor* cur, int idxNum, const char* idxStr, int argc,
            sqlite3_value** argv) {
    auto* c = reinterpret_cast<VCursor*>(cur);
    return guarded(cur->pVtab, [&] {
        Table& table = *c->tab->table;
        table.catchUp();
        c->plan = idxNum & kPlanMask;
        const bool sorted = idxNum & kSorted;
        c->eof = false;
        c->recno = 1;
        c->entry.reset();
        c->held = nullptr;
        c->order = nullptr;
        if (c->plan == kIndexEqual && argc == 1) {
            c->tag = idxNum >> 8;
            const Field& f = table.layout().field(table.tagField(c->tag));
            if (f.type == 'C' && sqlite3_value_type(argv[0]) != SQLITE_NULL) {
                lookUp(c, argv[0]);
                if (sorted) sortHeld(c, idxStr);
                settle(c);
                return;
            }
            if (!seekIndex(c, argv[0])) {
                c->eof = true;
                return;
            }
        } else if (c->plan == kDateRange && argc >= 1) {
            c->tag = idxNum >> 8;
            const bool bounded = (idxNum & kHasUpperBound) && argc >= 2;
            // The days the bounds allow, a few more at most: SQLite checks again.
            const auto day = [](sqlite3_value* v, bool up) -> std::optional<qint64> {
                const int type = sqlite3_value_type(v);
                if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return std::nullopt;
                const double d = sqlite3_value_double(v);
                return qint64(up ? std::ceil(d) : std::floor(d));
            };
            const std::optional<qint64> first = day(argv[0], true);
            const std::optional<qint64> last = bounded ? day(argv[1], false) : std::nullopt;
            if (!first || (bounded && !last)) {
                c->plan = kFullScan;  // a bound that is no day: SQLite compares it itself
            } else {
                const QDate from = QDate::fromJulianDay(std::max<qint64>(*first, 1));
                if (!from.isValid()) {
                    c->eof = true;
                    return;
                }
                c->lastDay = bounded ? *last : std::numeric_limits<qint64>::max();
                c->entry = table.index()->seek(c->tag, table.searchKey(c->tag, from));
            }
        } else if (c->plan == kBytesEqual && argc == 1) {
            c->field = idxNum >> 8;
            const auto bytes = unpaddedField(table.layout(), c->field, argv[0]);
            if (!bytes) {
                c->eof = true;
                return;
            }
            c->wanted = *bytes;
        } else {
            c->plan = kFullScan;
        }
        if (sorted) {
            // A whole table sorted once serves every pass over it (SQLite
            // may scan an inner table of a join once per outer row) until
            // the table changes.
            const LookUpCache::Stamp now = LookUpCache::stampOf(table, -1);
            if (!(c->plan == kFullScan && c->sortedWhole && c->sortedStamp == now)) {
                c->sortedRows.clear();
                if (c->plan == kFullScan)
                    c->sortedRows.reserve(table.recordCount(), table.layout());
                collect(c, c->sortedRows);
                c->sortedOrder = sortRows(table.layout(), c->sortedRows, sortTerms(c, idxStr));
                c->sortedWhole = c->plan == kFullScan;
                c->sortedStamp = now;
            }
            c->held = &c->sortedRows;
            c->order = c->sortedOrder.get();
            c->at = 0;
            c->end = c->sortedRows.size();
            c->eof = false;
        }
        settle(c);
    });
}

int xNext(sqlite3_vtab_cursor* cur) {
    auto* c = reinterpret_cast<VCursor*>(cur);
    return guarded(cur->pVtab, [&] { advance(c); });
}

int xEof(sqlite3_vtab_cursor* cur) {
    return reinterpret_cast<VCursor*>(cur)->eof;
}

int xColumn(sqlite3_vtab_cursor* cur, sqlite3_context* ctx, int column) {
    auto* c = reinterpret_cast<VCursor*>(cur);
    const DbfLayout& layout = c->tab->table->layout();
    FieldValue& v = c->decoded[size_t(column)];
    if (c->decodedAt[size_t(column)] != c->rowSerial) {
        readValue(layout, column, QByteArrayView(c->row, layout.recordLength()), v);
        c->decodedAt[size_t(column)] = c->rowSerial;
    }
    switch (v.type) {
        case SQLITE_TEXT:
            // Handed over with its terminator (length -1), SQLite keeps the
            // text NUL-terminated and needs no second copy when a function
            // such as substr() asks for it. Text holding a NUL goes by length.
            if (!v.nul) {
                c->text.assign(v.text.data(), size_t(v.text.size()));
                sqlite3_result_text(ctx, c->text.c_str(), -1, SQLITE_TRANSIENT);
            } else {
                sqlite3_result_text(ctx, v.text.data(), int(v.text.size()), SQLITE_TRANSIENT);
            }
            break;
        case SQLITE_INTEGER:
            sqlite3_result_int64(ctx, v.integer);
            break;
        case SQLITE_FLOAT:
            sqlite3_result_double(ctx, v.real);
            break;
        default:
            sqlite3_result_null(ctx);
    }
    return SQLITE_OK;
}

int xRowid(sqlite3_vtab_cursor* cur, sqlite3_int64* rowid) {
    *rowid = reinterpret_cast<VCursor*>(cur)->recno;
    return SQLITE_OK;
}

int xUpdate(sqlite3_vtab* vtab, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
    Table& table = *reinterpret_cast<VTab*>(vtab)->table;
    return guarded(vtab, [&] {
        const DbfLayout& layout = table.layout();
        if (argc == 1) {
            reinterpret_cast<VTab*>(vtab)->deletions.push_back(
                uint32_t(sqlite3_value_int64(argv[0])));
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

// Every statement runs on its own (autocommit): its deletions reach the
// table when it ends, before the call that executed it returns.
int xSync(sqlite3_vtab* vtab) {
    auto* v = reinterpret_cast<VTab*>(vtab);
    return guarded(vtab, [v] {
        if (v->deletions.empty()) return;
        const std::vector<uint32_t> deletions = std::move(v->deletions);
        v->deletions.clear();
        v->table->markDeletedMany(deletions);
    });
}

// After the commit (xSync has applied them) or a rollback (they are dropped).
int forgetDeletions(sqlite3_vtab* vtab) {
    reinterpret_cast<VTab*>(vtab)->deletions.clear();
    return SQLITE_OK;
}

int xRename(sqlite3_vtab*, const char*) {
    return SQLITE_ERROR;
}

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
    m.xBegin = forgetDeletions;
    m.xSync = xSync;
    m.xCommit = forgetDeletions;
    m.xRollback = forgetDeletions;
    m.xRename = xRename;
    return m;
}

const sqlite3_module kModule = makeModule();
}  // namespace

const sqlite3_module& tableModule() {
    return kModule;
}

}  // namespace sql
