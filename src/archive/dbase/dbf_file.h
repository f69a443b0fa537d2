// The .dbf table file layout (dBASE III and IV, no memo), and the rules for
// turning field bytes into values and back.
//
// Layout (all integers little-endian):
//   header, 32 bytes
//     0      version: low three bits 3 (0x03 dBASE III/IV; 0x83, 0x8B with memo)
//     1..3   date of the last change: year - 1900, month, day
//     4..7   record count
//     8..9   header length: 32 + 32 per field + 1 (the 0x0D terminator)
//     10..11 record length: 1 (deletion flag) + the sum of the field lengths
//     12..15 reserved (dBASE IV: transaction and encryption flags; kept 0)
//     16..27 reserved for multi-user use; this engine keeps its change
//            marker here (see ChangeMarker); other tools ignore these bytes
//     28     1 when a production index (.mdx of the same name) exists
//     29     language driver id (kept as found; 0x57 = Windows ANSI for new files)
//   field descriptors, 32 bytes each
//     0..10  name, NUL-padded        11 type: C N F D L (M B G O refused)
//     16     length                  17 decimals
//     31     1 when the field carries a tag in the production index (dBASE IV)
//   0x0D, then the records, each: flag (' ' live, '*' deleted) + field bytes
//   0x1A after the last record.
//
// Field bytes: C text in Windows-1252, blank-padded; N and F numbers in ASCII,
// right-aligned, blank when empty; D YYYYMMDD or eight blanks; L one of TtYy
// (true), FfNn (false), ? or blank (not set).
//
// Values this engine refuses to write rather than change: text with a
// character that Windows-1252 lacks or with a NUL, text longer than the field
// (trailing blanks excepted: they carry nothing, since text is read back
// without them), and numbers that need more digits than the field has,
// integer or decimal. Other tools pad text with NULs: reading treats trailing
// NULs as padding, like blanks; any other byte is data.
//
// A header is accepted only when its header length and record length agree
// exactly with its field descriptors (NUL padding after the terminator
// aside): lengths that are off would shift every record.
//
// Everything here works on bytes in memory and raises EngineError naming the
// file for a header that is impossible; no input can make it read out of bounds.
#pragma once

#include "archive/dbase/engine_error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringView>
#include <chrono>
#include <cstdint>
#include <vector>

namespace dbase {

struct Field {
    QString name;     // as stored, upper case for the files this engine writes
    char type = 'C';  // C, N, F, D or L
    int length = 0;
    int decimals = 0;
    bool tagged = false;  // descriptor byte 31: a production index tag is on this field
    int offset = 0;       // of the field's bytes in the record (the flag is byte 0)
};

// The engine's own bytes 16..27 of the header: a change counter that every
// writer bumps, and the counter value the production index is known to hold.
struct ChangeMarker {
    bool present = false;
    uint32_t changes = 0;
    uint32_t indexed = 0;
};

constexpr int kBaseHeaderSize = 32;
constexpr char kLiveFlag = ' ';
constexpr char kDeletedFlag = '*';
constexpr char kEndOfFile = 0x1A;
constexpr uint8_t kAnsiLanguageDriver = 0x57;

class DbfLayout {
  public:
    DbfLayout() = default;
    // A new dBASE IV layout with the given fields (name, type, length, decimals;
    // offsets are computed). Throws for a field that dBASE cannot hold.
    DbfLayout(const QString& path, std::vector<Field> fields,
              uint8_t languageDriver = kAnsiLanguageDriver);

    // Header length stated by the first 32 bytes, after checking that they
    // look like a dBASE table. Throws when they do not.
    static int statedHeaderLength(QByteArrayView base, const QString& path);
    // Parses a whole header (base + descriptors + terminator).
    static DbfLayout parse(QByteArrayView header, const QString& path);

    QByteArray encodeHeader() const;  // the whole header, descriptors included
    QByteArray encodeBase() const;    // the first 32 bytes only

    const QString& path() const { return path_; }
    const std::vector<Field>& fields() const { return fields_; }
    const Field& field(int i) const { return fields_[size_t(i)]; }
    int fieldCount() const { return int(fields_.size()); }
    int fieldIndex(QStringView name) const;  // without regard to case; -1 when missing
    int headerLength() const { return headerLength_; }
    int recordLength() const { return recordLength_; }

    uint8_t version = 0x03;
    QDate lastUpdate;
    uint32_t recordCount = 0;
    bool productionIndex = false;  // byte 28
    uint8_t languageDriver = kAnsiLanguageDriver;
    ChangeMarker marker;
    void setTagged(int field, bool tagged) { fields_[size_t(field)].tagged = tagged; }

    // A record of the right length, live, all fields blank.
    QByteArray blankRecord() const;

    // Reading: `record` is recordLength() bytes.
    QString text(int field, QByteArrayView record) const;   // trailing blanks and NULs removed
    double number(int field, QByteArrayView record) const;  // blank or unreadable: 0
    QDate date(int field, QByteArrayView record) const;     // blank or impossible: invalid
    bool logical(int field, QByteArrayView record) const;
    bool isBlank(int field, QByteArrayView record) const;
    QByteArrayView bytes(int field, QByteArrayView record) const;

    // Writing into `record`; each throws EngineError when the value does not fit.
    void setText(int field, QByteArray& record, QStringView value) const;
    void setNumber(int field, QByteArray& record, double value) const;
    void setDate(int field, QByteArray& record, const QDate& value) const;
    void setLogical(int field, QByteArray& record, bool value) const;
    void clear(int field, QByteArray& record) const;
    // Rewrites with a decimal point every number stored with a decimal comma
    // (by a tool running under a comma locale), so a record that is written
    // back leaves the file readable by every dBASE reader.
    void normalizeNumbers(QByteArray& record) const;

  private:
    [[noreturn]] void refuse(int field, const QString& why) const;
    void put(int field, QByteArray& record, QByteArrayView bytes) const;

    QString path_;
    std::vector<Field> fields_;
    int headerLength_ = 0;
    int recordLength_ = 0;
};

// Number text as an N or F field of that width and decimals stores it, or an
// empty array when the value cannot be written there without changing it.
QByteArray formatNumber(double value, int length, int decimals);

// Today's date for the last-change bytes of .dbf and .mdx headers, read from
// the clock at most once a second: the local date reads the time zone file
// each time, which a post would otherwise pay several times.
inline QDate today() {
    thread_local QDate date;
    thread_local std::chrono::steady_clock::time_point readAt;
    const auto now = std::chrono::steady_clock::now();
    if (!date.isValid() || now - readAt >= std::chrono::seconds(1)) {
        date = QDate::currentDate();
        readAt = now;
    }
    return date;
}

}  // namespace dbase
