#include "archive/schema.h"

#include <gtest/gtest.h>

using namespace archive;

TEST(IssueKey, SplitsIntoBarcodeAndIssueNumber) {
    struct Case {
        const char* key;
        const char* barcode;
        const char* number;
    };
    const Case cases[] = {
        {"977123456700100042", "9771234567001", "00042"},
        {"977123456700112", "9771234567001", "12"},
        {"9771234567001", "9771234567001", ""},
        {"12345670", "12345670", ""},
    };
    for (const Case& c : cases) {
        const QString key = QString::fromLatin1(c.key);
        EXPECT_TRUE(isIssueKeyLength(key.size())) << c.key;
        EXPECT_EQ(magazineBarcode(key), QLatin1String(c.barcode)) << c.key;
        EXPECT_EQ(issueNumber(key), QLatin1String(c.number)) << c.key;
    }
    for (int n : {0, 7, 9, 12, 14, 16, 17, 19}) EXPECT_FALSE(isIssueKeyLength(n)) << n;
}

TEST(ReturnByDate, FollowsThePeriodicity) {
    const QDate d(2026, 12, 10);
    struct Case {
        const char* letter;
        QDate expected;
    };
    const Case cases[] = {
        {"Q", d.addDays(1)},   {"S", d.addDays(7)},   {"D", d.addDays(15)},
        {"M", d.addDays(30)},  {"B", d.addDays(60)},  {"T", d.addDays(90)},
        {"U", d.addDays(120)}, {"A", d.addDays(60)},  {"V", QDate(2099, 12, 31)},
        {"m", d.addDays(60)},  {"", d.addDays(60)},   {" ", d.addDays(60)},
        {"X", d.addDays(60)},  {"v", d.addDays(60)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fn_scadenza(QString::fromLatin1(c.letter), d), c.expected) << c.letter;
    }
    // Across a year end and a leap day.
    EXPECT_EQ(fn_scadenza(u"M", QDate(2028, 2, 1)), QDate(2028, 3, 2));
}

TEST(Schema, ColumnOrderAndIndexes) {
    QStringList names;
    for (const FieldSpec& f : riviste3().fields) names << f.name;
    EXPECT_EQ(names.join(','), QStringLiteral("BARCODE,NOME,PREZZO,FORNITORE,ACQUISTO,PERIODICIT"));
    EXPECT_EQ(giacenza3().fields.back().name, QStringLiteral("SCADENZA"));
    EXPECT_EQ(riviste3().tags, (std::vector<QString>{"BARCODE", "FORNITORE", "NOME"}));
    EXPECT_EQ(giornale3().tags, std::vector<QString>{"DATA"});
    EXPECT_EQ(giacenza3().tags, std::vector<QString>{"BARCODE2"});
    EXPECT_EQ(periodicities().size(), 9u);
    EXPECT_EQ(movementName(u"R"), QStringLiteral("Reso"));
}
