// dBASE field values as SQL values, both ways. Reading is the one rule for
// what a query sees and for what the sorter orders by: C text without its
// padding (UTF-8), D Julian day numbers, L 0/1, N and F reals, NULL for a
// blank D, L, N or F field. Storing refuses what a field cannot hold as given
// rather than changing it without a word.
//
// readValue() runs for every field of every row a scan or a sort reads, so it
// and its helpers are inline here.
#pragma once

#include "archive/dbase/dbf_file.h"

#include <sqlite3.h>
#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <cmath>
#include <optional>

namespace sql {

// A field's value as SQL sees it, by the rule above.
struct FieldValue {
    int type = SQLITE_NULL;
    sqlite3_int64 integer = 0;
    double real = 0;
    QByteArrayView text;  // into the record, or into `converted`
    bool nul = false;     // the text holds a NUL character
    QByteArray converted;
};

// True when a D, N or F field is certainly not blank, tested without the
// engine's full test: numbers are right-aligned and dates start with the year.
inline bool surelyFilled(const dbase::Field& f, QByteArrayView record) {
    if (f.length <= 0 || f.offset + f.length > record.size()) return false;
    const char ch = record[f.type == 'D' ? f.offset : f.offset + f.length - 1];
    return f.type != 'L' && ch >= '0' && ch <= '9';
}

// Text fields are padded with blanks, or by some dBASE tools with NULs: both
// are padding, so a field's text ends at the last byte that is neither.
inline qsizetype unpaddedSize(QByteArrayView bytes) {
    qsizetype size = bytes.size();
    while (size > 0 && (bytes[size - 1] == ' ' || bytes[size - 1] == '\0')) --size;
    return size;
}

// True when `field` (a field's bytes, or a key built from them) holds `text`
// followed by padding only.
inline bool holdsPadded(QByteArrayView field, QByteArrayView text) {
    return field.startsWith(text) && unpaddedSize(field) <= text.size();
}

inline void readValue(const dbase::DbfLayout& layout, int column, QByteArrayView record,
                      FieldValue& v) {
    const dbase::Field& f = layout.field(column);
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

// The column type a field is declared with in the virtual table.
QString columnType(const dbase::Field& f);

// The bytes in front of the padding of a C field whose text equals `value`;
// nullopt when no field can hold it.
std::optional<QByteArray> unpaddedField(const dbase::DbfLayout& layout, int field,
                                        sqlite3_value* value);

// Stores an SQL value into field `i` of `record`, by the field's type. A value
// the field cannot hold as it is refuses the whole statement, naming the field.
void storeValue(const dbase::DbfLayout& layout, int i, QByteArray& record, sqlite3_value* value);

}  // namespace sql
