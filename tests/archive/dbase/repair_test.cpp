// What opening a table may change, and what it must never change: a header
// whose lengths are off is refused with nothing on disk touched, the record
// count follows the file size, and NUL bytes in records are data.
#include "support/table_support.h"

#include "archive/dbase/cursor.h"

#include <QFile>
#include <gtest/gtest.h>

namespace dbase {
namespace {

using test::copyFixture;
using test::fixture;
using test::fileBytes;
using test::writeBytes;

uint16_t u16(const QByteArray& b, int at) {
    return uint16_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8));
}
void setU16(QByteArray& b, int at, uint32_t v) {
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}
void setU32(QByteArray& b, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = char((v >> (8 * i)) & 0xFF);
}

std::string openError(const QString& path) {
    try {
        Cursor c(path);
        c.open();
    } catch (const EngineError& e) {
        return e.message().toStdString();
    }
    return {};
}

uint32_t liveRecords(const QString& path) {
    Cursor c(path);
    c.open();
    c.setIndex(QString());
    uint32_t n = 0;
    for (c.first(); !c.eof(); c.next()) ++n;
    return n;
}

// A journal of 6,000 records whose header length or record length is off:
// reading it would shift every record, so it must be refused, and neither
// the table nor its index may lose a byte over it.
TEST(DamagedHeader, LengthsOffAreRefusedAndNothingChanges) {
    struct Case {
        int offset;  // 8 header length, 10 record length
        int64_t delta;
    };
    std::vector<Case> cases;
    for (int offset : {8, 10}) {
        for (int64_t delta : {1, -1, 31, -31}) cases.push_back({offset, delta});
        cases.push_back({offset, 65535});  // the largest value, whatever the right one
    }
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "offset " << k.offset << " delta " << k.delta);
        QTemporaryDir dir;
        const QString path = copyFixture(dir, QStringLiteral("GIORNALE3"));
        const QString mdx = Table::productionIndexPath(path);
        QByteArray bytes = fileBytes(path);
        const uint32_t value = k.delta == 65535 ? 65535u : uint32_t(u16(bytes, k.offset) + k.delta);
        setU16(bytes, k.offset, value);
        writeBytes(path, bytes);
        const QByteArray mdxBefore = fileBytes(mdx);

        const std::string error = openError(path);
        EXPECT_TRUE(error.find("damaged") != std::string::npos ||
                    error.find("is not a dBASE table") != std::string::npos)
            << error;
        EXPECT_EQ(fileBytes(path), bytes);
        EXPECT_EQ(fileBytes(mdx), mdxBefore);
    }
}

// The count in the header is only a hint the size corrects: too low, the
// complete records beyond it are kept; too high, it is lowered to what the
// file holds. No record is dropped either way.
TEST(DamagedHeader, RecordCountFollowsTheFileSize) {
    QTemporaryDir dir;
    const QString original = copyFixture(dir, QStringLiteral("RIVISTE3"));
    const uint32_t live = liveRecords(original);
    const QByteArray good = fileBytes(original);
    const uint32_t stated = uint32_t(uint8_t(good[4]) | uint8_t(good[5]) << 8);
    for (int64_t delta : {1, -1, 31, -31, 65535}) {
        SCOPED_TRACE(delta);
        QTemporaryDir other;
        const QString path = copyFixture(other, QStringLiteral("RIVISTE3"));
        QByteArray bytes = fileBytes(path);
        setU32(bytes, 4, uint32_t(int64_t(stated) + delta));
        writeBytes(path, bytes);
        EXPECT_EQ(liveRecords(path), live);
        EXPECT_EQ(Table::open(path)->recordCount(), stated);
    }
}

// Another tool's register, every text padded with NULs, one title holding a
// NUL inside: every record survives ten opens, reads as the same text, and
// is found by its key.
TEST(NulBytes, AreDataAcrossTenOpens) {
    QTemporaryDir dir;
    const QString path = copyFixture(dir, QStringLiteral("RIVISTE3"));
    QByteArray bytes = fileBytes(path);
    const int header = u16(bytes, 8);
    const int record = u16(bytes, 10);
    const uint32_t count = uint32_t(uint8_t(bytes[4]) | uint8_t(bytes[5]) << 8);
    std::fill(bytes.begin() + 16, bytes.begin() + 28, '\0');  // no marker: not ours
    // BARCODE C13 at 1, NOME C30 at 14, FORNITORE C3 at 54
    const std::vector<std::pair<int, int>> texts = {{1, 13}, {14, 30}, {54, 3}};
    for (uint32_t r = 0; r < count; ++r) {
        char* rec = bytes.data() + header + qsizetype(r) * record;
        for (auto [at, length] : texts) {
            for (int i = length - 1; i >= 0 && rec[at + i] == ' '; --i) rec[at + i] = '\0';
        }
    }
    bytes[header + 14 + 3] = '\0';  // inside the first title: "Cuc\0na Facile"
    writeBytes(path, bytes);

    Cursor before(fixture(QStringLiteral("RIVISTE3.DBF")));
    before.setReadOnly(true);
    before.open();
    std::vector<QString> names;
    std::vector<QString> barcodes;
    for (before.first(); !before.eof(); before.next()) {
        names.push_back(before.text(QStringLiteral("NOME")));
        barcodes.push_back(before.text(QStringLiteral("BARCODE")));
    }
    before.close();
    names[0] = QStringLiteral("Cuc") + QChar(0) + QStringLiteral("na Facile");

    for (int open = 0; open < 10; ++open) {
        SCOPED_TRACE(open);
        Cursor c(path);
        c.open();
        ASSERT_EQ(c.table().recordCount(), count);
        std::vector<QString> seen;
        for (c.first(); !c.eof(); c.next()) seen.push_back(c.text(QStringLiteral("NOME")));
        EXPECT_EQ(seen, names);
        c.setIndex(QStringLiteral("BARCODE"));
        for (const QString& barcode : barcodes) EXPECT_TRUE(c.findKey(barcode)) << barcode.toStdString();
        c.setIndex(QStringLiteral("NOME"));
        EXPECT_TRUE(c.findKey(names[1]));
    }
}

TEST(NulBytes, TextWithANulIsRefusedNamingTheField) {
    QTemporaryDir dir;
    const QString path = test::createJournal(dir);
    Cursor c(path);
    c.open();
    c.append();
    try {
        c.setText(QStringLiteral("ID"), QStringLiteral("AB") + QChar(0));
        FAIL() << "accepted";
    } catch (const EngineError& e) {
        EXPECT_NE(e.message().indexOf(QLatin1String("ID")), -1) << e.message().toStdString();
        EXPECT_NE(e.message().indexOf(QLatin1String("NUL")), -1) << e.message().toStdString();
    }
    c.cancel();
    EXPECT_EQ(c.table().recordCount(), 0u);
}

}  // namespace
}  // namespace dbase
