#include "archive/sql/row_sort.h"

#include "archive/sql/field_values.h"

#include <QByteArray>

#include <algorithm>
#include <bit>
#include <cstring>

namespace sql {

using dbase::DbfLayout;
using dbase::Field;

namespace {

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

}  // namespace

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

}  // namespace sql
