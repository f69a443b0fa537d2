#include "archive/sql/field_values.h"

#include "archive/dbase/engine_error.h"
#include "archive/sql/sql_database.h"
#include "platform/cp1252.h"

#include <QDir>

#include <charconv>
#include <cstring>
#include <string>

namespace sql {

using dbase::DbfLayout;
using dbase::Field;

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

namespace {

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

}  // namespace

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

}  // namespace sql
