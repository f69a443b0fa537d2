#include "archive/dbase/dbf_file.h"

#include "platform/byte_order.h"
#include "platform/cp1252.h"

#include <QDir>
#include <charconv>
#include <cmath>
#include <cstring>

namespace dbase {
namespace {

constexpr int kDescriptorSize = 32;
constexpr int kMaxFields = 255;
constexpr int kMaxNumberLength = 20;
constexpr int kMaxCharacterLength = 254;
constexpr char kMarkerMagic[4] = {'T', 'S', 'M', '1'};

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void notDbase(const QString& path) {
    throw EngineError(QStringLiteral("%1 is not a dBASE table").arg(native(path)));
}
[[noreturn]] void damaged(const QString& path, const QString& why) {
    throw EngineError(QStringLiteral("The table %1 is damaged: %2").arg(native(path), why));
}

bool validName(const QString& name) {
    if (name.isEmpty() || name.size() > 10 || !name[0].isLetter()) return false;
    for (QChar c : name) {
        if (c.unicode() > 0x7F || !(c.isLetterOrNumber() || c == QLatin1Char('_'))) return false;
    }
    return true;
}

// The checks every field must pass, whether read from a file or asked for by
// create(); returns the reason it fails, or an empty string.
QString fieldProblem(const Field& f) {
    switch (f.type) {
        case 'C':
            if (f.length < 1 || f.length > kMaxCharacterLength)
                return QStringLiteral("impossible length");
            break;
        case 'N':
        case 'F':
            if (f.length < 1 || f.length > kMaxNumberLength)
                return QStringLiteral("impossible length");
            if (f.decimals < 0 || (f.decimals > 0 && f.decimals >= f.length))
                return QStringLiteral("impossible number of decimals");
            break;
        case 'D':
            if (f.length != 8) return QStringLiteral("impossible length");
            break;
        case 'L':
            if (f.length != 1) return QStringLiteral("impossible length");
            break;
        case 'M':
        case 'B':
        case 'G':
        case 'O':
        case 'P':
            return QStringLiteral("memo and binary fields are not supported");
        default:
            return QStringLiteral("unknown field type '%1'").arg(QChar::fromLatin1(f.type));
    }
    return {};
}

}  // namespace

QByteArray formatNumber(double value, int length, int decimals) {
    if (!std::isfinite(value)) return {};
    // to_chars, not printf: the stored form has a decimal point whatever the
    // process locale (Qt sets the C library's from the environment at start).
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) return {};
    QByteArray text(buffer, end - buffer);
    // "-0.00": a value that rounds to zero is stored as zero.
    if (text.startsWith('-') && text.count('0') + text.count('.') == text.size() - 1)
        text.remove(0, 1);
    if (text.size() > length) return {};
    return QByteArray(length - text.size(), ' ') + text;
}

DbfLayout::DbfLayout(const QString& path, std::vector<Field> fields, uint8_t driver)
    : languageDriver(driver), path_(path), fields_(std::move(fields)) {
    if (fields_.empty() || int(fields_.size()) > kMaxFields)
        throw EngineError(QStringLiteral("A table needs 1 to 255 fields: %1").arg(native(path)));
    int offset = 1;
    for (size_t i = 0; i < fields_.size(); ++i) {
        Field& f = fields_[i];
        f.name = f.name.toUpper();
        if (!validName(f.name))
            throw EngineError(
                QStringLiteral("Invalid field name \"%1\" for %2").arg(f.name, native(path)));
        for (size_t j = 0; j < i; ++j) {
            if (fields_[j].name == f.name)
                throw EngineError(
                    QStringLiteral("Duplicate field name %1 for %2").arg(f.name, native(path)));
        }
        if (f.type == 'D') f.length = 8;
        if (f.type == 'L') f.length = 1;
        if (f.type != 'N' && f.type != 'F') f.decimals = 0;
        const QString problem = fieldProblem(f);
        if (!problem.isEmpty())
            throw EngineError(
                QStringLiteral("Field %1 of %2: %3").arg(f.name, native(path), problem));
        f.offset = offset;
        offset += f.length;
    }
    recordLength_ = offset;
    headerLength_ = kBaseHeaderSize + kDescriptorSize * int(fields_.size()) + 1;
    lastUpdate = today();
}

int DbfLayout::statedHeaderLength(QByteArrayView base, const QString& path) {
    if (base.size() < kBaseHeaderSize) notDbase(path);
    const char* p = base.data();
    if ((uint8_t(p[0]) & 0x07) != 0x03) notDbase(path);
    const int headerLength = platform::readLe16(p + 8);
    const int recordLength = platform::readLe16(p + 10);
    if (headerLength < kBaseHeaderSize + kDescriptorSize + 1 || recordLength < 2) notDbase(path);
    return headerLength;
}

DbfLayout DbfLayout::parse(QByteArrayView header, const QString& path) {
    const int headerLength = statedHeaderLength(header, path);
    if (header.size() < headerLength) damaged(path, QStringLiteral("the header is cut short"));
    const char* p = header.data();
    DbfLayout layout;
    layout.path_ = path;
    layout.version = uint8_t(p[0]);
    layout.lastUpdate = QDate(1900 + uint8_t(p[1]), uint8_t(p[2]), uint8_t(p[3]));
    layout.recordCount = platform::readLe32(p + 4);
    layout.headerLength_ = headerLength;
    layout.recordLength_ = platform::readLe16(p + 10);
    layout.productionIndex = p[28] == 0x01;
    layout.languageDriver = uint8_t(p[29]);
    if (std::memcmp(p + 16, kMarkerMagic, 4) == 0) {
        layout.marker.present = true;
        layout.marker.changes = platform::readLe32(p + 20);
        layout.marker.indexed = platform::readLe32(p + 24);
    }

    // The stated lengths decide where every record starts. They must agree
    // exactly with the descriptors, or every record would be read shifted:
    // such a table is refused as damaged, never "repaired".
    int offset = 1;
    int terminator = -1;
    for (int pos = kBaseHeaderSize; pos < headerLength; pos += kDescriptorSize) {
        if (p[pos] == 0x0D) {
            terminator = pos;
            break;
        }
        if (pos + kDescriptorSize > headerLength)
            damaged(path, QStringLiteral("the header length does not match the field list"));
        if (int(layout.fields_.size()) == kMaxFields)
            damaged(path, QStringLiteral("too many fields"));
        const char* d = p + pos;
        Field f;
        f.name = QString::fromLatin1(d, int(qstrnlen(d, 10))).trimmed();  // 10 + NUL
        f.type = d[11];
        f.length = uint8_t(d[16]);
        f.decimals = uint8_t(d[17]);
        f.tagged = d[31] == 0x01 && layout.productionIndex;
        if (f.name.isEmpty()) damaged(path, QStringLiteral("a field has no name"));
        const QString problem = fieldProblem(f);
        if (!problem.isEmpty()) {
            if (problem.startsWith(QLatin1String("memo")))
                throw EngineError(QStringLiteral("%1: field %2 is a memo or binary field, which "
                                                 "this program does not support")
                                      .arg(native(path), f.name));
            damaged(path, QStringLiteral("field %1: %2").arg(f.name, problem));
        }
        f.offset = offset;
        offset += f.length;
        layout.fields_.push_back(f);
    }
    if (layout.fields_.empty()) damaged(path, QStringLiteral("it has no fields"));
    if (terminator < 0)
        damaged(path, QStringLiteral("the header length does not match the field list"));
    // Some tools leave NUL padding after the terminator; anything else there
    // is the first record, and the stated length is wrong.
    for (int pos = terminator + 1; pos < headerLength; ++pos) {
        if (p[pos] != '\0')
            damaged(path, QStringLiteral("the header length does not match the field list"));
    }
    if (offset != layout.recordLength_)
        damaged(path, QStringLiteral("the record length does not match the fields"));
    return layout;
}

QByteArray DbfLayout::encodeBase() const {
    QByteArray b(kBaseHeaderSize, '\0');
    char* p = b.data();
    p[0] = char(version);
    const QDate d = lastUpdate.isValid() ? lastUpdate : today();
    p[1] = char(qBound(0, d.year() - 1900, 255));
    p[2] = char(d.month());
    p[3] = char(d.day());
    platform::writeLe32(p + 4, recordCount);
    platform::writeLe16(p + 8, uint16_t(headerLength_));
    platform::writeLe16(p + 10, uint16_t(recordLength_));
    if (marker.present) {
        std::memcpy(p + 16, kMarkerMagic, 4);
        platform::writeLe32(p + 20, marker.changes);
        platform::writeLe32(p + 24, marker.indexed);
    }
    p[28] = productionIndex ? 0x01 : 0x00;
    p[29] = char(languageDriver);
    return b;
}

QByteArray DbfLayout::encodeHeader() const {
    QByteArray h = encodeBase();
    h.resize(headerLength_, '\0');
    char* p = h.data();
    for (size_t i = 0; i < fields_.size(); ++i) {
        const Field& f = fields_[i];
        char* d = p + kBaseHeaderSize + kDescriptorSize * int(i);
        const QByteArray name = f.name.toLatin1().left(10);
        std::memcpy(d, name.constData(), size_t(name.size()));
        d[11] = f.type;
        d[16] = char(f.length);
        d[17] = char(f.decimals);
        d[31] = f.tagged ? 0x01 : 0x00;
    }
    const int end = kBaseHeaderSize + kDescriptorSize * int(fields_.size());
    if (end < headerLength_) p[end] = 0x0D;
    return h;
}

int DbfLayout::fieldIndex(QStringView name) const {
    for (size_t i = 0; i < fields_.size(); ++i) {  // most callers spell names as stored
        if (fields_[i].name == name) return int(i);
    }
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0) return int(i);
    }
    return -1;
}

QByteArray DbfLayout::blankRecord() const {
    return QByteArray(recordLength_, ' ');
}

QByteArrayView DbfLayout::bytes(int field, QByteArrayView record) const {
    const Field& f = fields_[size_t(field)];
    if (record.size() < f.offset + f.length) return {};
    return record.sliced(f.offset, f.length);
}

QString DbfLayout::text(int field, QByteArrayView record) const {
    QByteArrayView b = bytes(field, record);
    const char type = fields_[size_t(field)].type;
    if (type == 'C') {
        qsizetype n = b.size();
        while (n > 0 && (b[n - 1] == ' ' || b[n - 1] == '\0')) --n;
        return platform::cp1252::decode(b.first(n));
    }
    return QString::fromLatin1(b.trimmed());
}

double DbfLayout::number(int field, QByteArrayView record) const {
    const QByteArrayView b = bytes(field, record).trimmed();
    if (b.isEmpty()) return 0.0;
    // The common form, [-]digits[.digits] with at most 15 digits, converts
    // exactly as strtod would: both parts are exact doubles and one division
    // by an exact power of ten rounds correctly. A decimal comma reads as the
    // point it stands for: files written under a comma locale by another tool
    // (or by an early build of ours) hold numbers such as "3,50".
    {
        qsizetype i = 0;
        const bool negative = b[0] == '-';
        if (negative) ++i;
        int64_t digits = 0;
        int count = 0;
        int scale = -1;
        bool simple = i < b.size();
        for (; simple && i < b.size(); ++i) {
            const char c = b[i];
            if (c >= '0' && c <= '9') {
                if (++count > 15) break;
                digits = digits * 10 + (c - '0');
                if (scale >= 0) ++scale;
            } else if ((c == '.' || c == ',') && scale < 0) {
                scale = 0;
            } else {
                simple = false;
            }
        }
        if (simple && count > 0 && count <= 15) {
            static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
            const double v = double(digits) / kPowers[scale < 0 ? 0 : scale];
            return negative ? -v : v;
        }
    }
    bool ok = false;
    const double v = QByteArray(b.data(), b.size()).replace(',', '.').toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

QDate DbfLayout::date(int field, QByteArrayView record) const {
    const QByteArrayView b = bytes(field, record);
    if (b.size() != 8) return {};
    int parts[3] = {0, 0, 0};
    const int widths[3] = {4, 2, 2};
    int pos = 0;
    for (int k = 0; k < 3; ++k) {
        for (int i = 0; i < widths[k]; ++i, ++pos) {
            if (b[pos] < '0' || b[pos] > '9') return {};
            parts[k] = parts[k] * 10 + (b[pos] - '0');
        }
    }
    return QDate(parts[0], parts[1], parts[2]);
}

bool DbfLayout::logical(int field, QByteArrayView record) const {
    const QByteArrayView b = bytes(field, record);
    return !b.isEmpty() && (b[0] == 'T' || b[0] == 't' || b[0] == 'Y' || b[0] == 'y');
}

bool DbfLayout::isBlank(int field, QByteArrayView record) const {
    const QByteArrayView b = bytes(field, record);
    if (fields_[size_t(field)].type == 'L') return b.isEmpty() || b[0] == ' ' || b[0] == '?';
    return b.trimmed().isEmpty();
}

void DbfLayout::refuse(int field, const QString& why) const {
    throw EngineError(
        QStringLiteral("Field %1 of %2: %3").arg(fields_[size_t(field)].name, native(path_), why));
}

void DbfLayout::put(int field, QByteArray& record, QByteArrayView b) const {
    const Field& f = fields_[size_t(field)];
    char* out = record.data() + f.offset;
    std::memset(out, ' ', size_t(f.length));
    if (!b.isEmpty()) std::memcpy(out, b.data(), size_t(qMin<qsizetype>(b.size(), f.length)));
}

void DbfLayout::setText(int field, QByteArray& record, QStringView value) const {
    const Field& f = fields_[size_t(field)];
    switch (f.type) {
        case 'C': {
            // A NUL would read back as padding and cut the text short, and
            // other tools end text at it: refused rather than half stored.
            if (value.contains(QChar(u'\0')))
                refuse(field, QStringLiteral("the text contains a NUL character"));
            QByteArray b;
            try {
                b = platform::cp1252::encode(value);
            } catch (const platform::EncodingError& e) {
                refuse(field, e.message());
            }
            qsizetype n = b.size();
            while (n > f.length && b[n - 1] == ' ') --n;
            if (n > f.length)
                refuse(field, QStringLiteral("the text \"%1\" is longer than %2 characters")
                                  .arg(value.toString())
                                  .arg(f.length));
            put(field, record, QByteArrayView(b).first(n));
            return;
        }
        case 'N':
        case 'F': {
            const QString t = value.trimmed().toString();
            if (t.isEmpty()) return clear(field, record);
            bool ok = false;
            const double v = t.toDouble(&ok);  // C locale: the stored form
            if (!ok) refuse(field, QStringLiteral("\"%1\" is not a number").arg(t));
            return setNumber(field, record, v);
        }
        case 'D': {
            const QString t = value.trimmed().toString();
            if (t.isEmpty()) return clear(field, record);
            QDate d = QDate::fromString(t, QStringLiteral("yyyyMMdd"));
            if (!d.isValid()) d = QDate::fromString(t, Qt::ISODate);
            if (!d.isValid()) refuse(field, QStringLiteral("\"%1\" is not a date").arg(t));
            return setDate(field, record, d);
        }
        case 'L': {
            const QString t = value.trimmed().toString();
            if (t.isEmpty() || t == QLatin1String("?")) return clear(field, record);
            const QChar c = t[0].toUpper();
            if (t.size() == 1 && (c == QLatin1Char('T') || c == QLatin1Char('Y')))
                return setLogical(field, record, true);
            if (t.size() == 1 && (c == QLatin1Char('F') || c == QLatin1Char('N')))
                return setLogical(field, record, false);
            refuse(field, QStringLiteral("\"%1\" is not a logical value").arg(t));
        }
        default:
            break;
    }
}

void DbfLayout::setNumber(int field, QByteArray& record, double value) const {
    const Field& f = fields_[size_t(field)];
    if (f.type == 'C') return setText(field, record, QString::number(value, 'g', 15));
    if (f.type != 'N' && f.type != 'F') refuse(field, QStringLiteral("it does not hold numbers"));
    const QByteArray text = formatNumber(value, f.length, f.decimals);
    if (text.isEmpty())
        refuse(field, QStringLiteral("the number %1 does not fit (%2 characters, %3 decimals)")
                          .arg(QString::number(value, 'g', 17))
                          .arg(f.length)
                          .arg(f.decimals));
    // A value with more decimals than the field keeps is rounded, as dBASE
    // does; only digits in front of the point would be lost, and those refuse.
    put(field, record, text);
}

void DbfLayout::setDate(int field, QByteArray& record, const QDate& value) const {
    const Field& f = fields_[size_t(field)];
    if (f.type != 'D') {
        if (f.type == 'C')
            return setText(field, record, value.toString(QStringLiteral("yyyyMMdd")));
        refuse(field, QStringLiteral("it does not hold dates"));
    }
    if (!value.isValid()) return clear(field, record);
    if (value.year() < 1 || value.year() > 9999)
        refuse(field, QStringLiteral("the year is out of range"));
    put(field, record, value.toString(QStringLiteral("yyyyMMdd")).toLatin1());
}

void DbfLayout::setLogical(int field, QByteArray& record, bool value) const {
    const Field& f = fields_[size_t(field)];
    if (f.type != 'L') refuse(field, QStringLiteral("it does not hold logical values"));
    put(field, record, value ? "T" : "F");
}

void DbfLayout::clear(int field, QByteArray& record) const {
    put(field, record, {});
}

void DbfLayout::normalizeNumbers(QByteArray& record) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        const Field& f = fields_[i];
        if ((f.type != 'N' && f.type != 'F') || !bytes(int(i), record).contains(',')) continue;
        const QByteArray text = formatNumber(number(int(i), record), f.length, f.decimals);
        if (!text.isEmpty()) put(int(i), record, text);
    }
}

}  // namespace dbase
