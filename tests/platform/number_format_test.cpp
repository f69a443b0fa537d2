#include "platform/number_format.h"

#include "support/italian_locale.h"
#include "platform/error.h"

#include <limits>

using platform::formatGeneral;
using platform::formatNumber;
using platform::parseNumber;

namespace {

struct PictureCase {
    const char16_t* picture;
    double value;
    const char16_t* expected;
};

class NumberFormat : public ItalianLocale {};

TEST_F(NumberFormat, Pictures) {
    const PictureCase cases[] = {
        // prices: two decimals, nothing for zero
        {u"0.00;;#", 0, u""},
        {u"0.00;;#", 1.5, u"1,50"},
        {u"0.00;;#", -1.5, u"-1,50"},
        {u"0.00;;#", 1234.5, u"1234,50"},
        {u"0.00;;#", 0.004, u""},
        {u"0.00;;#", -0.004, u""},
        {u"0.00;;#", 0.005, u"0,01"},
        {u"0.00;;#", 1.005, u"1,01"},
        {u"0.00;;#", 2.675, u"2,68"},
        {u"0.00;;#", -2.675, u"-2,68"},
        {u"0.00;;#", 9.999, u"10,00"},
        {u"0.00;;#", 1e17, u"100000000000000000,00"},
        // costs: two to six decimals
        {u"0.00####;;#", 1.5, u"1,50"},
        {u"0.00####;;#", 2, u"2,00"},
        {u"0.00####;;#", 1.234567, u"1,234567"},
        {u"0.00####;;#", 1.2345675, u"1,234568"},
        {u"0.00####;;#", 0.0000004, u""},
        {u"0.00####;;#", 0.0000005, u"0,000001"},
        {u"0.00####;;#", -0.5, u"-0,50"},
        // the stock-in fields
        {u"0.00;;#.##", 0, u""},
        {u"0.00;;#.##", 3, u"3,00"},
        {u"0.000000;;#.######", 1.5, u"1,500000"},
        {u"0.000000;;#.######", 0, u""},
        // quantities
        {u"#", 0, u""},
        {u"#", 5, u"5"},
        {u"#", 12345, u"12345"},
        {u"#", -7, u"-7"},
        {u"#", 2.5, u"3"},
        {u"#", -2.5, u"-3"},
        {u"#", 0.4, u""},
        // the sale total: thousands grouped, literal euro sign
        {u"#,##0.00 €", 0, u"0,00 €"},
        {u"#,##0.00 €", 12, u"12,00 €"},
        {u"#,##0.00 €", 1234.5, u"1.234,50 €"},
        {u"#,##0.00 €", 1234567.891, u"1.234.567,89 €"},
        {u"#,##0.00 €", 999.995, u"1.000,00 €"},
        {u"#,##0.00 €", -1234.5, u"-1.234,50 €"},
        {u"#,##0.00 €", -0.001, u"0,00 €"},
        // edit pictures: no trailing zeros, no leading zero
        {u"#.##", 1.5, u"1,5"},
        {u"#.##", 2, u"2"},
        {u"#.##", 1.999, u"2"},
        {u"#.##", 0.5, u",5"},
        {u"#.##", -1.25, u"-1,25"},
        {u"#.##", 0, u""},
        {u"#.######", 1.234567, u"1,234567"},
        {u"#.######", 1.5, u"1,5"},
        // explicit negative and zero sections, quoted literals
        {u"0.0;(0.0);\"zero\"", -1.25, u"(1,3)"},
        {u"0.0;(0.0);\"zero\"", 0, u"zero"},
        {u"0.0;(0.0);\"zero\"", 0.04, u"zero"},
        {u"'n. '000", 7, u"n. 007"},
    };
    for (const PictureCase& c : cases) {
        const QString picture = QString::fromUtf16(c.picture);
        SCOPED_TRACE(picture.toStdString() + " " + std::to_string(c.value));
        EXPECT_EQ(formatNumber(c.value, picture), QString::fromUtf16(c.expected));
    }
}

TEST_F(NumberFormat, SeparatorsFollowTheLocale) {
    platform::setProgramLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(formatNumber(1234567.5, u"#,##0.00 €"), QStringLiteral("1,234,567.50 €"));
    EXPECT_EQ(formatNumber(1.5, u"0.00;;#"), QStringLiteral("1.50"));
    EXPECT_EQ(formatGeneral(1.5), QStringLiteral("1.5"));
}

TEST_F(NumberFormat, General) {
    const struct {
        double value;
        const char* expected;
    } cases[] = {
        {0, "0"},
        {2, "2"},
        {1.5, "1,5"},
        {0.1, "0,1"},
        {0.1 + 0.2, "0,3"},
        {-0.25, "-0,25"},
        {1.0 / 3, "0,333333333333333"},
        {10000, "10000"},
        {1234567.125, "1234567,125"},
        {123456789012345, "123456789012345"},
        {1e15, "1E15"},
        {1e20, "1E20"},
        {0.00001, "0,00001"},
        {0.0000015, "1,5E-6"},
        {-2.5e-7, "-2,5E-7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(formatGeneral(c.value), QString::fromLatin1(c.expected));
    }
}

TEST_F(NumberFormat, ParsesEitherDecimalSign) {
    const struct {
        const char* text;
        double value;
    } good[] = {
        {"1,5", 1.5},     {"1.5", 1.5},  {" 2 ", 2},
        {"-0,25", -0.25}, {"+3", 3},     {",5", 0.5},
        {"5,", 5},        {"1E3", 1000}, {"1,5E-6", 0.0000015},
        {"007", 7},       {"0", 0},      {"12345.678901", 12345.678901},
    };
    for (const auto& c : good) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseNumber(QString::fromLatin1(c.text)), c.value);
    }
    for (const char* text :
         {"", "   ", "abc", "1,2,3", "1.234,5", "1 000", "-", ",", "1e", "12a", "--1", "1e400"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseNumber(QString::fromLatin1(text)), std::nullopt);
    }
    platform::setProgramLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(parseNumber(u"2,5"), 2.5);
}

TEST_F(NumberFormat, GeneralFormReadsBack) {
    for (double v : {1.5, -0.25, 1.0 / 3, 123456.789, 1e20, 0.0000015, 2.675}) {
        const double back = *parseNumber(formatGeneral(v));
        EXPECT_NEAR(back, v, std::abs(v) * 1e-14) << formatGeneral(v).toStdString();
    }
}

TEST_F(NumberFormat, ToNumberNamesTheBadText) {
    EXPECT_EQ(platform::toNumber(u"3,25"), 3.25);
    try {
        platform::toNumber(u"3x");
        FAIL();
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.message(), QStringLiteral("'3x' is not a valid floating point value"));
    }
}

}  // namespace
