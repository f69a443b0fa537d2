// Fuzz target for the .dbf reader: any bytes as a table file. The header is
// parsed, every record the bytes hold is decoded field by field, and a header
// that parses must survive a write and a second parse unchanged. Errors are
// expected; crashes, hangs and sanitizer reports are not.
#include "archive/dbase/dbf_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = QStringLiteral("FUZZ.DBF");
    try {
        const dbase::DbfLayout layout = dbase::DbfLayout::parse(bytes, path);
        const QByteArray again = layout.encodeHeader();
        const dbase::DbfLayout back = dbase::DbfLayout::parse(again, path);
        if (back.fieldCount() != layout.fieldCount() ||
            back.recordLength() != layout.recordLength() || back.encodeHeader() != again)
            __builtin_trap();

        const qsizetype recordLength = layout.recordLength();
        qsizetype offset = layout.headerLength();
        for (uint32_t r = 0; r < layout.recordCount && offset + recordLength <= bytes.size();
             ++r, offset += recordLength) {
            const QByteArrayView record = bytes.sliced(offset, recordLength);
            QByteArray copy = record.toByteArray();
            for (int f = 0; f < layout.fieldCount(); ++f) {
                const QString text = layout.text(f, record);
                const double number = layout.number(f, record);
                const QDate date = layout.date(f, record);
                (void)layout.logical(f, record);
                (void)layout.isBlank(f, record);
                try {
                    // What was read must be writable back where it came from.
                    switch (layout.field(f).type) {
                        case 'C':
                            layout.setText(f, copy, text);
                            break;
                        case 'D':
                            layout.setDate(f, copy, date);
                            break;
                        default:
                            layout.setNumber(f, copy, number);
                            break;
                    }
                } catch (const dbase::EngineError&) {
                }
            }
        }
    } catch (const dbase::EngineError&) {
    }
    return 0;
}
