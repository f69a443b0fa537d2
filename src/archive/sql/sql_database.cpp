#include "archive/sql/sql_database.h"

#include "archive/dbase/engine_error.h"
#include "archive/dbase/table.h"
#include "archive/sql/big_memory.h"
#include "platform/cp1252.h"

#include <sqlite3.h>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
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

// Rows copied out of the table: records back to back, with their numbers.
struct RowSet {
    memory::Bytes bytes;
    std::vector<uint32_t> recnos;
    size_t size() const { return recnos.size(); }
    void add(QByteArrayView record, uint32_t recno) {
        bytes.append(record.data(), size_t(record.size()));
        recnos.push_back(recno);
    }
    void clear() {
        bytes.clear();
        recnos.clear();
    }
    void reserve(size_t rows, const DbfLayout& layout) {
        bytes.reserve(rows * size_t(layout.recordLength()));
        recnos.reserve(rows);
    }
};

// The rows found for each value looked up through a character tag, kept by a
// cursor for one statement: a join asks for the same magazine again and again.
// Open addressing over a flat array: a probe costs one or two cache lines.
struct LookUpCache {
    static constexpr size_t kMaxBytes = 64 << 20;
    static constexpr size_t kInline = 15;
    struct Bucket {
        uint64_t hash = 0;   // 0: empty
        uint32_t first = 0;  // the value's rows: rows[first, first + count)
        uint32_t count = 0;
        // The value itself when it has at most kInline bytes (their number in
        // the last byte), so that a probe reads one cache line; otherwise its
        // place and size in `values`, and 0xFF in the last byte.
        char value[kInline + 1] = {};
    };
    std::vector<Bucket> buckets;  // a power of two long
    size_t used = 0;
    std::string values;  // the looked-up values longer than kInline
    RowSet rows;
    // The tag, and the state of the table the rows were read in. Every change bumps the
    // marker of the table's view, made in this process (through SQL or not)
    // or, once catchUp() has seen it, in another one.
    struct Stamp {
        int tag = -1;
        bool marked = false;
        uint32_t changes = 0;
        uint64_t epoch = 0;
        uint32_t recordCount = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp;

    static Stamp stampOf(const Table& table, int tag) {
        const dbase::ChangeMarker& m = table.layout().marker;
        return {tag, m.present, m.changes, table.epoch(), table.recordCount()};
    }

    static uint64_t hashOf(std::string_view value) {
        return std::hash<std::string_view>{}(value) | 1;
    }

    bool holds(const Bucket& b, std::string_view value) const {
        const auto sizeByte = static_cast<unsigned char>(b.value[kInline]);
        if (value.size() <= kInline)
            return sizeByte == value.size() &&
                   std::memcmp(b.value, value.data(), value.size()) == 0;
        uint32_t at = 0;
        uint32_t size = 0;
        std::memcpy(&at, b.value, 4);
        std::memcpy(&size, b.value + 4, 4);
        return sizeByte == 0xFF && size == value.size() &&
               std::memcmp(values.data() + at, value.data(), value.size()) == 0;
    }

    const Bucket* find(std::string_view value) const {
        if (buckets.empty()) return nullptr;
        const uint64_t hash = hashOf(value);
        const size_t mask = buckets.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Bucket& b = buckets[i];
            if (b.hash == 0) return nullptr;
            if (b.hash == hash && holds(b, value)) return &b;
        }
    }

    const Bucket* insert(std::string_view value, size_t first, size_t count) {
        if ((used + 1) * 2 > buckets.size()) grow();
        Bucket b;
        b.hash = hashOf(value);
        b.first = uint32_t(first);
        b.count = uint32_t(count);
        if (value.size() <= kInline) {
            std::memcpy(b.value, value.data(), value.size());
            b.value[kInline] = char(value.size());
        } else {
            const auto at = uint32_t(values.size());
            const auto size = uint32_t(value.size());
            std::memcpy(b.value, &at, 4);
            std::memcpy(b.value + 4, &size, 4);
            b.value[kInline] = char(0xFF);
            values.append(value);
        }
        ++used;
        return place(b);
    }

    void clear() {
        buckets.clear();
        used = 0;
        values.clear();
        rows.clear();
    }

    size_t bytes() const { return rows.bytes.size() + values.size(); }

  private:
    const Bucket* place(const Bucket& b) {
        const size_t mask = buckets.size() - 1;
        size_t i = b.hash & mask;
        while (buckets[i].hash != 0) i = (i + 1) & mask;
        buckets[i] = b;
        return &buckets[i];
    }

    void grow() {
        std::vector<Bucket> old = std::move(buckets);
        buckets.assign(std::max<size_t>(64, old.size() * 2), Bucket{});
        for (const Bucket& s : old) {
            if (s.hash != 0) place(s);
        }
    }
};

// A field's value as SQL sees it, the one rule for both xColumn and the
// sorting done here: C text without trailing blanks (UTF-8), D Julian day
// numbers, L 0/1, N and F reals; NULL for a blank D, L, N or F field.
struct FieldValue {
    int type = SQLITE_NULL;
    sqlite3_int64 integer = 0;
    double real = 0;
    QByteArrayView text;  // into the record, or into `converted`
    bool nul = false;     // the text holds a NUL character
    QByteArray converted;
};

// One term of an ORDER BY a table sorts for: a field, ascending or not.
struct SortTerm {
    int column = 0;
    bool desc = false;
};

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

QString columnType(const Field& f) {
    switch (f.type) {
        case 'C':
            return QStringLiteral("TEXT");
        case 'D':
            return QStringLiteral("DATE");
        case 'L':
            return QStringLiteral("BOOLEAN");
        default:
            return QStringLiteral("REAL");
    }
}

// True when a D, N or F field is certainly not blank, tested without the
// engine's full test: numbers are right-aligned and dates start with the year.
bool surelyFilled(const Field& f, QByteArrayView record) {
    if (f.length <= 0 || f.offset + f.length > record.size()) return false;
    const char ch = record[f.type == 'D' ? f.offset : f.offset + f.length - 1];
    return f.type != 'L' && ch >= '0' && ch <= '9';
}

// Text fields are padded with blanks, or by some dBASE tools with NULs: both
// are padding, so a field's text ends at the last byte that is neither.
qsizetype unpaddedSize(QByteArrayView bytes) {
    qsizetype size = bytes.size();
    while (size > 0 && (bytes[size - 1] == ' ' || bytes[size - 1] == '\0')) --size;
    return size;
}

// True when `field` (a field's bytes, or a key built from them) holds `text`
// followed by padding only.
bool holdsPadded(QByteArrayView field, QByteArrayView text) {
    return field.startsWith(text) && unpaddedSize(field) <= text.size();
}

void readValue(const DbfLayout& layout, int column, QByteArrayView record, FieldValue& v) {
    const Field& f = layout.field(column);
    v.type = SQLITE_NULL;
    if (f.type != 'C' && !surelyFilled(f, record) && layout.isBlank(column, record)) return;
    switch (f.type) {
        case 'C': {
            // Most stored text is ASCII: the field's own bytes, trailing
            // padding cut, are its UTF-8; only the rest is converted.
            const QByteArrayView bytes = layout.bytes(column, record);
            const qsizetype size = unpaddedSize(bytes);
            bool ascii = true;
            bool nul = false;
            for (qsizetype b = 0; b < size && ascii; ++b) {
                const auto ch = static_cast<unsigned char>(bytes[b]);
                ascii = ch < 0x80;
                nul = nul || ch == 0;
            }
            if (ascii) {
                v.text = bytes.first(size);
                v.nul = nul;
            } else {
                v.converted = layout.text(column, record).toUtf8();
                v.text = v.converted;
                v.nul = v.converted.contains('\0');
            }
            v.type = SQLITE_TEXT;
            break;
        }
        case 'D': {
            const QDate d = layout.date(column, record);
            if (!d.isValid()) return;
            v.integer = d.toJulianDay();
            v.type = SQLITE_INTEGER;
            break;
        }
        case 'L':
            v.integer = layout.logical(column, record) ? 1 : 0;
            v.type = SQLITE_INTEGER;
            break;
        default:
            v.real = layout.number(column, record);
            // SQLite takes a NaN result as NULL; so does the sort.
            if (!std::isnan(v.real)) v.type = SQLITE_FLOAT;
    }
}

// Sorting. Each row gets a key of bytes that compare (memcmp, shorter first)
// as SQLite compares the values of the ORDER BY terms: NULL first, numbers by
// value, text by its UTF-8 bytes (BINARY, the only collation SQLite lets a
// virtual table sort for). A term's bytes are inverted for DESC; every term
// encoding is prefix-free, so inversion reverses its order exactly.
char* putBigEndian(char* out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) *out++ = char((value >> (8 * i)) & 0xFF);
    return out;
}

void appendSortKey(memory::Bytes& key, const Field& f, const FieldValue& v, bool desc) {
    // At most: flag, every text byte escaped, terminator; or flag and 8 bytes.
    char* const start = key.extend(v.type == SQLITE_TEXT ? 3 + 2 * size_t(v.text.size()) : 9);
    char* out = start;
    if (v.type == SQLITE_NULL) {
        *out++ = '\0';
    } else {
        *out++ = '\1';
        switch (v.type) {
            case SQLITE_TEXT:
                // 0x00 is escaped as 00 01 and the text ends with 00 00.
                for (const char ch : v.text) {
                    *out++ = ch;
                    if (ch == '\0') *out++ = '\1';
                }
                *out++ = '\0';
                *out++ = '\0';
                break;
            case SQLITE_INTEGER:
                if (f.type == 'D') {
                    // Julian days of years 1 to 9999, all below 2^32.
                    out = putBigEndian(out, uint64_t(v.integer), 4);
                } else {
                    out = putBigEndian(out, uint64_t(v.integer) ^ (uint64_t(1) << 63), 8);
                }
                break;
            default: {
                const double d = v.real == 0 ? 0.0 : v.real;  // -0 equals 0
                const uint64_t bits = std::bit_cast<uint64_t>(d);
                out = putBigEndian(out, (bits >> 63) ? ~bits : bits | (uint64_t(1) << 63), 8);
            }
        }
    }
    if (desc) {
        for (char* p = start; p < out; ++p) *p = char(~*p);
    }
    key.commit(size_t(out - start));
}

// "column[d],column[d],..." in idxStr: the ORDER BY a sorted plan delivers.
std::vector<SortTerm> parseTerms(const char* idxStr) {
    std::vector<SortTerm> terms;
    for (const QByteArray& part : QByteArray(idxStr ? idxStr : "").split(',')) {
        if (part.isEmpty()) continue;
        SortTerm t;
        t.desc = part.endsWith('d');
        t.column = (t.desc ? part.chopped(1) : part).toInt();
        terms.push_back(t);
    }
    return terms;
}

// Puts the rows in `rows` in ORDER BY order; ties go by record number, so
// that every plan gives one order, whichever way it found the rows.
memory::Array<uint32_t> sortRows(const DbfLayout& layout, const RowSet& rows,
                                 const std::vector<SortTerm>& terms) {
    const size_t n = rows.size();
    const size_t length = size_t(layout.recordLength());
    struct Entry {
        uint64_t prefix;  // the key's first 8 bytes, big-endian, zero-filled
        uint64_t offset;
        uint32_t length;
        uint32_t row;
    };
    memory::Array<Entry> entries = memory::allocateArray<Entry>(std::max<size_t>(n, 1));
    memory::Bytes keys;
    keys.reserve(n * 16);
    FieldValue v;
    for (size_t r = 0; r < n; ++r) {
        const QByteArrayView record(rows.bytes.data() + r * length, qsizetype(length));
        const size_t start = keys.size();
        for (const SortTerm& t : terms) {
            readValue(layout, t.column, record, v);
            appendSortKey(keys, layout.field(t.column), v, t.desc);
        }
        const size_t size = keys.size() - start;
        uint64_t prefix = 0;
        for (size_t i = 0; i < 8; ++i)
            prefix =
                prefix << 8 | (i < size ? static_cast<unsigned char>(keys.data()[start + i]) : 0u);
        entries[r] = {prefix, start, uint32_t(size), uint32_t(r)};
    }
    const char* base = keys.data();
    std::sort(entries.get(), entries.get() + n, [base, &rows](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const uint32_t common = std::min(a.length, b.length);
        if (common > 8) {
            const int c = std::memcmp(base + a.offset + 8, base + b.offset + 8, common - 8);
            if (c != 0) return c < 0;
        }
        if (a.length != b.length) return a.length < b.length;
        return rows.recnos[a.row] < rows.recnos[b.row];
    });
    memory::Array<uint32_t> order = memory::allocateArray<uint32_t>(std::max<size_t>(n, 1));
    for (size_t i = 0; i < n; ++i) order[i] = entries[i].row;
    return order;
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

// The bytes in front of the padding of a C field whose text equals `value`;
// nullopt when no field can hold it.
std::optional<QByteArray> unpaddedField(const DbfLayout& layout, int field, sqlite3_value* value) {
    if (sqlite3_value_type(value) == SQLITE_NULL) return std::nullopt;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                           sqlite3_value_bytes(value));
    if (!platform::cp1252::canEncode(text)) return std::nullopt;
    QByteArray bytes = platform::cp1252::encode(text);
    bytes.truncate(unpaddedSize(bytes));
    if (bytes.size() > layout.field(field).length) return std::nullopt;
    return bytes;
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

[[noreturn]] void refuseValue(const DbfLayout& layout, int i, const QString& why) {
    throw dbase::EngineError(
        QStringLiteral("Field %1 of %2: %3")
            .arg(layout.field(i).name, QDir::toNativeSeparators(layout.path()), why));
}

QString describe(double value) {
    return QString::number(value, 'g', 17);
}

// The number a field with `decimals` places stores for `value`: rounded half
// away from zero from its 15-digit decimal form, which is how the number
// pictures show it, so that the stored price is the one the operator saw
// (1.005 is 1.01 on screen and must not be 1.00 on disk). nullopt when a
// field of whole numbers would lose a fraction: a quantity of 1.5 is an
// error, not two copies.
std::optional<double> roundedAsShown(double value, int decimals) {
    char buf[64];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    // buf holds d.dddddddddddddde±xx: 15 significant digits.
    std::string digits(1, buf[0]);
    const char* p = buf + 2;
    while (p < written.ptr && *p != 'e') digits.push_back(*p++);
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+'), written.ptr, exponent);
    const int whole = exponent + 1;  // digits in front of the point
    const int keep = whole + decimals;
    if (keep >= int(digits.size())) return value;
    if (decimals == 0 &&
        digits.find_first_not_of('0', size_t(std::max(keep, 0))) != std::string::npos)
        return std::nullopt;
    if (keep < 0) return 0.0;
    const bool up = digits[size_t(keep)] >= '5';
    digits.resize(size_t(keep));
    if (up) {
        int d = keep - 1;
        while (d >= 0 && digits[size_t(d)] == '9') digits[size_t(d--)] = '0';
        if (d < 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[size_t(d)];
    }
    if (digits.empty()) return 0.0;
    // digits * 10^-decimals, read back as the double nearest to that decimal.
    const std::string text = digits + "e-" + std::to_string(decimals);
    double rounded = 0;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return value < 0 ? -rounded : rounded;
}

// The number an SQL value stands for in a numeric field: reals and integers
// as they are, text only when all of it is a number in the stored form (a
// point for decimals, whatever the locale). "abc" or "1,5" would otherwise
// become 0 or 1 without a word. nullopt for blank text.
std::optional<double> numberOf(const DbfLayout& layout, int i, sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return sqlite3_value_double(value);
        case SQLITE_TEXT: {
            const QByteArray text =
                QByteArray(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                           sqlite3_value_bytes(value))
                    .trimmed();
            if (text.isEmpty()) return std::nullopt;
            double number = 0;
            const auto [end, error] =
                std::from_chars(text.constData(), text.constData() + text.size(), number);
            if (error != std::errc() || end != text.constData() + text.size() ||
                !std::isfinite(number))
                refuseValue(layout, i,
                            QStringLiteral("\"%1\" is not a number").arg(QString::fromUtf8(text)));
            return number;
        }
        default:
            return std::nullopt;  // NULL; a blob was refused before
    }
}

// Stores an SQL value into field `i` of `record`, by the field's type. A value
// the field cannot hold as it is refuses the whole statement, naming the field.
void storeValue(const DbfLayout& layout, int i, QByteArray& record, sqlite3_value* value) {
    const Field& f = layout.field(i);
    if (sqlite3_value_type(value) == SQLITE_BLOB) {
        const bool nan = sqlite3_value_bytes(value) == int(sizeof kNaNBlob) &&
                         std::memcmp(sqlite3_value_blob(value), kNaNBlob, sizeof kNaNBlob) == 0;
        refuseValue(layout, i,
                    nan ? QStringLiteral("NaN is not a number")
                        : QStringLiteral("it does not take binary data"));
    }
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        layout.clear(i, record);
        return;
    }
    if (sqlite3_value_type(value) == SQLITE_FLOAT && !std::isfinite(sqlite3_value_double(value)))
        refuseValue(
            layout, i,
            QStringLiteral("%1 is not a number").arg(describe(sqlite3_value_double(value))));
    switch (f.type) {
        case 'C': {
            const QString text =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                                  sqlite3_value_bytes(value));
            // A NUL reads back as the end of the text, or as padding: what
            // follows it would be lost or the record would not be found.
            if (text.contains(QChar(0)))
                refuseValue(layout, i, QStringLiteral("the text holds a NUL character"));
            layout.setText(i, record, text);
            break;
        }
        case 'D': {
            const int type = sqlite3_value_type(value);
            QDate d;
            if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
                d = QDate::fromJulianDay(qint64(sqlite3_value_double(value)));
            else
                d = QDate::fromString(
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(value))),
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
        default: {
            const std::optional<double> number = numberOf(layout, i, value);
            if (!number) {
                layout.clear(i, record);
                break;
            }
            const std::optional<double> stored = roundedAsShown(*number, f.decimals);
            if (!stored)
                refuseValue(layout, i,
                            QStringLiteral("%1 is not a whole number").arg(describe(*number)));
            layout.setNumber(i, record, *stored);
        }
    }
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
    // One thread uses a connection (as it does the tables): no mutex per call.
    if (sqlite3_open_v2(":memory:", &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
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
    const QFileInfoList files = QDir(folder_).entryInfoList({QStringLiteral("*.dbf")}, QDir::Files,
                                                            QDir::Name | QDir::IgnoreCase);
    std::map<QString, QString> now;
    for (const QFileInfo& f : files)
        now.emplace(f.completeBaseName().toLower(), f.absoluteFilePath());
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
