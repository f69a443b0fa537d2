#include "platform/dates.h"

#include "support/italian_locale.h"

using platform::formatDate;
using platform::parseDate;

namespace {

class Dates : public ItalianLocale {
  protected:
    void SetUp() override {
        ItalianLocale::SetUp();
        platform::setToday(QDate(2025, 6, 1));
    }
    void TearDown() override {
        platform::setToday(QDate());
        ItalianLocale::TearDown();
    }
};

TEST_F(Dates, ShortFormatAlwaysHasFourDigitYears) {
    // The Italian short format has a two-digit year; ours widens it.
    EXPECT_EQ(QLocale(QLocale::Italian, QLocale::Italy).dateFormat(QLocale::ShortFormat),
              QStringLiteral("dd/MM/yy"));
    EXPECT_EQ(platform::shortDateFormat(), QStringLiteral("dd/MM/yyyy"));
    EXPECT_EQ(formatDate(QDate(2024, 3, 5)), QStringLiteral("05/03/2024"));
    EXPECT_EQ(formatDate(platform::farFutureDate()), QStringLiteral("31/12/2099"));
    EXPECT_EQ(formatDate(QDate(1999, 12, 31)), QStringLiteral("31/12/1999"));
    EXPECT_EQ(formatDate(QDate()), QString());

    platform::setProgramLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(platform::shortDateFormat(), QStringLiteral("M/d/yyyy"));
    EXPECT_EQ(formatDate(QDate(2024, 3, 5)), QStringLiteral("3/5/2024"));
}

TEST_F(Dates, ParsesTypedDates) {
    const struct {
        const char* text;
        QDate expected;
    } cases[] = {
        {"15/03/2024", QDate(2024, 3, 15)},
        {"15/3/2024", QDate(2024, 3, 15)},
        {" 5-3-24 ", QDate(2024, 3, 5)},
        {"5.3.2024", QDate(2024, 3, 5)},
        {"15/03/80", QDate(1980, 3, 15)},  // within fifty years of 2025
        {"15/03/74", QDate(2074, 3, 15)},
        {"15/03", QDate(2025, 3, 15)},  // the current year
        {"29/02/2024", QDate(2024, 2, 29)},
        {"31/12/2099", QDate(2099, 12, 31)},
        // not a date: the empty date
        {"", QDate()},
        {"   ", QDate()},
        {"29/02/2023", QDate()},
        {"32/01/2024", QDate()},
        {"15/13/2024", QDate()},
        {"2024/03/15", QDate()},
        {"15/03/2024/1", QDate()},
        {"15", QDate()},
        {"15/mar/2024", QDate()},
        {"abc", QDate()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseDate(QString::fromLatin1(c.text)), c.expected);
    }
    platform::setProgramLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(parseDate(u"3/15/2024"), QDate(2024, 3, 15));
    EXPECT_EQ(parseDate(u"15/3/2024"), QDate());
}

TEST_F(Dates, FormattedDatesReadBack) {
    for (const QDate d : {QDate(2024, 1, 1), QDate(2099, 12, 31), QDate(1975, 7, 9)}) {
        EXPECT_EQ(parseDate(formatDate(d)), d) << formatDate(d).toStdString();
    }
}

TEST_F(Dates, Arithmetic) {
    EXPECT_EQ(QDate(2025, 3, 15).addDays(30), QDate(2025, 4, 14));
    EXPECT_EQ(QDate(2024, 12, 20).addDays(15), QDate(2025, 1, 4));
    EXPECT_EQ(platform::farFutureDate(), QDate(2099, 12, 31));
    // The empty date stays empty and sorts before every date, so a record
    // without a date falls under any "on or before" bound.
    EXPECT_FALSE(QDate().addDays(7).isValid());
    EXPECT_LT(QDate(), QDate(1, 1, 1));
    EXPECT_LE(QDate(), QDate(2024, 3, 15));

    EXPECT_EQ(platform::today(), QDate(2025, 6, 1));
    platform::setToday(QDate());
    EXPECT_EQ(platform::today(), QDate::currentDate());
}

}  // namespace
