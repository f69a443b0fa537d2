// The .dbf layout and value rules, on bytes in memory.
#include "archive/dbase/dbf_file.h"
#include "support/table_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace dbase {
namespace {

using test::message;

DbfLayout sample() {
    return DbfLayout(QStringLiteral("/tmp/SAMPLE.DBF"), {{QStringLiteral("nome"), 'C', 10, 0},
                                                         {QStringLiteral("PREZZO"), 'N', 10, 2},
                                                         {QStringLiteral("GIACENZA"), 'F', 10, 0},
                                                         {QStringLiteral("DATA"), 'D', 8, 0},
                                                         {QStringLiteral("OK"), 'L', 1, 0}});
}

TEST(DbfNumbers, FormatRightAlignedOrRefuse) {
    struct Case {
        double value;
        int length, decimals;
        const char* stored;  // nullptr: refused
    } cases[] = {
        {12.5, 10, 2, "     12.50"},
        {-1, 10, 0, "        -1"},
        {1.234567, 14, 6, "      1.234567"},
        {-0.001, 10, 2, "      0.00"},
        {0.125, 10, 2, "      0.12"},
        {10000, 10, 0, "     10000"},
        {9999999999.0, 10, 0, "9999999999"},
        {12345678901.0, 10, 0, nullptr},
        {123456.5, 8, 2, nullptr},
        {-1234567.5, 10, 2, "-1234567.50"},
        {NAN, 10, 2, nullptr},
        {INFINITY, 20, 0, nullptr},
    };
    for (const Case& c : cases) {
        const QByteArray got = formatNumber(c.value, c.length, c.decimals);
        if (c.stored) {
            if (QByteArray(c.stored).size() > c.length) {
                EXPECT_TRUE(got.isEmpty()) << c.value;
            } else {
                EXPECT_EQ(got.toStdString(), c.stored) << c.value;
            }
        } else {
            EXPECT_TRUE(got.isEmpty()) << c.value << " gave " << got.toStdString();
        }
    }
}

TEST(DbfNumbers, ReadExactlyAsTheGeneralConversion) {
    const DbfLayout layout(QStringLiteral("N.DBF"), {{QStringLiteral("V"), 'N', 20, 0}});
    for (const char* text :
         {"0.1", "-0.3", "12.50", "1.234567", "999999999999999", "9999999999999999", ".5", "7.",
          "-0", "0000012.340", "123456789.123456", "+4", "1e3", "8.123456789012345678"}) {
        QByteArray r = layout.blankRecord();
        const QByteArray stored = QByteArray(20 - qsizetype(qstrlen(text)), ' ') + text;
        r.replace(1, 20, stored);
        EXPECT_EQ(layout.number(0, r), QByteArray(text).toDouble()) << text;
    }
}

TEST(DbfValues, RoundTripAndBlanks) {
    const DbfLayout layout = sample();
    QByteArray r = layout.blankRecord();
    EXPECT_EQ(layout.text(0, r), QString());
    EXPECT_EQ(layout.number(1, r), 0.0);
    EXPECT_TRUE(layout.isBlank(1, r));
    EXPECT_FALSE(layout.date(3, r).isValid());
    EXPECT_TRUE(layout.isBlank(4, r));

    layout.setText(0, r, QStringLiteral("Città è  "));
    layout.setNumber(1, r, -12.345);
    layout.setNumber(2, r, 10000);
    layout.setDate(3, r, QDate(2024, 2, 29));
    layout.setLogical(4, r, true);
    EXPECT_EQ(layout.text(0, r), QStringLiteral("Città è"));
    EXPECT_EQ(layout.bytes(0, r).toByteArray(), QByteArray("Citt\xE0 \xE8   "));
    EXPECT_EQ(layout.bytes(1, r).toByteArray(), QByteArray("    -12.35"));  // rounded like dBASE
    EXPECT_EQ(layout.number(1, r), -12.35);
    EXPECT_EQ(layout.number(2, r), 10000.0);
    EXPECT_EQ(layout.bytes(3, r).toByteArray(), QByteArray("20240229"));
    EXPECT_EQ(layout.date(3, r), QDate(2024, 2, 29));
    EXPECT_TRUE(layout.logical(4, r));

    // Text forms of the other types, and clearing.
    layout.setText(1, r, QStringLiteral(" 7.5 "));
    EXPECT_EQ(layout.text(1, r), QStringLiteral("7.50"));
    layout.setText(3, r, QStringLiteral("2023-01-31"));
    EXPECT_EQ(layout.date(3, r), QDate(2023, 1, 31));
    layout.setDate(3, r, QDate());
    EXPECT_EQ(layout.bytes(3, r).toByteArray(), QByteArray(8, ' '));
    layout.setText(4, r, QStringLiteral("n"));
    EXPECT_FALSE(layout.logical(4, r));
    EXPECT_FALSE(layout.isBlank(4, r));

    // What other tools leave: an impossible date reads as empty, a bad number as 0.
    r.replace(layout.field(3).offset, 8, "20230230");
    EXPECT_FALSE(layout.date(3, r).isValid());
    r.replace(layout.field(1).offset, 10, "     ***  ");
    EXPECT_EQ(layout.number(1, r), 0.0);
}

TEST(DbfValues, RefusedWithTheFieldAndFileNamed) {
    const DbfLayout layout = sample();
    QByteArray r = layout.blankRecord();
    const struct {
        std::function<void()> write;
        const char* says;
    } cases[] = {
        {[&] { layout.setText(0, r, QStringLiteral("12345678901")); }, "longer than 10"},
        {[&] { layout.setText(0, r, QStringLiteral("\u20AC ok \u4E2D")); }, "U+4E2D"},
        {[&] { layout.setNumber(1, r, 123456789.0); }, "does not fit"},
        {[&] { layout.setText(1, r, QStringLiteral("12,5")); }, "not a number"},
        {[&] { layout.setText(3, r, QStringLiteral("31/01/2023")); }, "not a date"},
        {[&] { layout.setNumber(3, r, 1); }, "does not hold numbers"},
        {[&] { layout.setText(4, r, QStringLiteral("maybe")); }, "not a logical"},
    };
    for (const auto& c : cases) {
        const std::string m = message(c.write);
        EXPECT_NE(m.find(c.says), std::string::npos) << m;
        EXPECT_NE(m.find("SAMPLE.DBF"), std::string::npos) << m;
    }
    // Trailing blanks beyond the width carry nothing and are accepted.
    layout.setText(0, r, QStringLiteral("1234567890   "));
    EXPECT_EQ(layout.text(0, r), QStringLiteral("1234567890"));
    // A field of its own width is written whole, the euro sign as its byte.
    layout.setText(0, r, QStringLiteral("\u20AC23456789X"));
    EXPECT_EQ(layout.bytes(0, r).toByteArray(), QByteArray("\x80"
                                                           "23456789X"));
}

TEST(DbfHeader, EncodesAndParsesBack) {
    DbfLayout layout = sample();
    layout.recordCount = 123456;
    layout.productionIndex = true;
    layout.setTagged(0, true);
    layout.languageDriver = 0x1B;
    layout.marker = ChangeMarker{true, 77, 76};
    layout.lastUpdate = QDate(2025, 10, 11);
    const QByteArray h = layout.encodeHeader();
    ASSERT_EQ(h.size(), 32 + 5 * 32 + 1);
    EXPECT_EQ(uint8_t(h[0]), 0x03);
    EXPECT_EQ(h.mid(1, 3), QByteArray("\x7D\x0A\x0B"));
    EXPECT_EQ(uint8_t(h[28]), 1);
    EXPECT_EQ(uint8_t(h[29]), 0x1B);
    EXPECT_EQ(uint8_t(h[32 + 31]), 1);
    EXPECT_EQ(uint8_t(h[64 + 31]), 0);
    EXPECT_EQ(h.back(), '\x0D');

    const DbfLayout back = DbfLayout::parse(h, QStringLiteral("X.DBF"));
    EXPECT_EQ(back.recordCount, 123456u);
    EXPECT_EQ(back.recordLength(), 1 + 10 + 10 + 10 + 8 + 1);
    EXPECT_EQ(back.lastUpdate, QDate(2025, 10, 11));
    EXPECT_TRUE(back.marker.present);
    EXPECT_EQ(back.marker.changes, 77u);
    EXPECT_EQ(back.marker.indexed, 76u);
    ASSERT_EQ(back.fieldCount(), 5);
    EXPECT_EQ(back.field(0).name, QStringLiteral("NOME"));
    EXPECT_TRUE(back.field(0).tagged);
    EXPECT_EQ(back.field(1).decimals, 2);
    EXPECT_EQ(back.field(4).offset, 1 + 10 + 10 + 10 + 8);
    EXPECT_EQ(back.fieldIndex(u"prezzo"), 1);
    EXPECT_EQ(back.fieldIndex(u"MISSING"), -1);
}

TEST(DbfHeader, DbaseThreeAndForeignBytesAreRead) {
    // dBASE III: field data addresses in bytes 12..15, flags in byte 31
    // meaning nothing (byte 28 is 0), memo version byte without memo fields.
    QByteArray h = sample().encodeHeader();
    h[0] = char(0x83);
    for (int f = 0; f < 5; ++f) {
        h[32 + 32 * f + 12] = char(0x55);
        h[32 + 32 * f + 31] = 1;
    }
    const DbfLayout layout = DbfLayout::parse(h, QStringLiteral("OLD.DBF"));
    EXPECT_FALSE(layout.productionIndex);
    EXPECT_FALSE(layout.field(0).tagged);
    EXPECT_FALSE(layout.marker.present);
    EXPECT_EQ(layout.fieldCount(), 5);
}

TEST(DbfHeader, ImpossibleHeadersAreRefused) {
    const QByteArray good = sample().encodeHeader();
    const struct {
        std::function<void(QByteArray&)> spoil;
        const char* says;
    } cases[] = {
        {[](QByteArray& h) { h.truncate(20); }, "is not a dBASE table"},
        {[](QByteArray& h) { h[0] = 0x30; }, "is not a dBASE table"},
        {[](QByteArray& h) {
             h[8] = 40;
             h[9] = 0;
         },
         "is not a dBASE table"},
        {[](QByteArray& h) { h.truncate(100); }, "cut short"},
        {[](QByteArray& h) { h[32 + 16] = 0; }, "NOME: impossible length"},
        {[](QByteArray& h) { h[64 + 16] = 40; }, "PREZZO: impossible length"},
        {[](QByteArray& h) { h[64 + 17] = 12; }, "decimals"},
        {[](QByteArray& h) { h[128 + 16] = 5; }, "DATA: impossible length"},
        {[](QByteArray& h) { h[32 + 11] = 'M'; }, "memo"},
        {[](QByteArray& h) { h[32 + 11] = 'X'; }, "unknown field type"},
        {[](QByteArray& h) { h[32] = 0; }, "has no name"},
        {[](QByteArray& h) {
             h[10] = 20;
             h[11] = 0;
         },
         "record length"},
        {[](QByteArray& h) { h[32] = 0x0D; }, "no fields"},
    };
    for (const auto& c : cases) {
        QByteArray h = good;
        c.spoil(h);
        const std::string m = message([&] { DbfLayout::parse(h, QStringLiteral("BAD.DBF")); });
        EXPECT_NE(m.find(c.says), std::string::npos) << m;
        EXPECT_NE(m.find("BAD.DBF"), std::string::npos) << m;
    }
}

TEST(DbfHeader, NewLayoutsRefuseWhatDbaseCannotHold) {
    using F = std::vector<Field>;
    const struct {
        F fields;
        const char* says;
    } cases[] = {
        {F{}, "1 to 255 fields"},
        {F{{QStringLiteral("A"), 'C', 300, 0}}, "impossible length"},
        {F{{QStringLiteral("TOOLONGNAME1"), 'C', 3, 0}}, "Invalid field name"},
        {F{{QStringLiteral("A"), 'C', 3, 0}, {QStringLiteral("a"), 'N', 3, 0}}, "Duplicate"},
        {F{{QStringLiteral("M"), 'M', 10, 0}}, "memo"},
    };
    for (const auto& c : cases) {
        const std::string m = message([&] { DbfLayout(QStringLiteral("N.DBF"), c.fields); });
        EXPECT_NE(m.find(c.says), std::string::npos) << m;
    }
}

}  // namespace
}  // namespace dbase
