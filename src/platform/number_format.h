// Numbers as the operator sees and types them.
//
// formatNumber() draws a value through a number picture. A picture has up to
// three sections separated by ";": for positive values, for negative values
// and for zero. An empty or missing negative section means the positive one
// with a minus sign in front; an empty or missing zero section means the
// positive one. Inside a section:
//   0        a digit, always shown (leading or trailing zero included)
//   #        a digit, shown only when significant
//   .        where the decimal sign goes (the first one counts)
//   ,        in the integer part: group the thousands
//   "x" 'x'  literal text; any other character is literal as well
// So "0.00;;#" shows two decimals and nothing at all for zero, "0.00####;;#"
// between two and six decimals, "#" a whole number or nothing for zero, and
// "#,##0.00 €" a grouped amount followed by the euro sign. Scientific
// notation ("E+") is not supported: no picture of the program uses it.
//
// Rounding is half away from zero at the section's last decimal, done on the
// value's shortest 15-digit decimal form, so 1.005 shows as 1,01 rather than
// as the 1,00 that its binary value would give. The zero section is chosen
// when the value is zero once rounded to the precision of the section its sign
// selects: 0.004 through "0.00;;#" shows nothing, and a tiny negative value
// never shows as "-0,00" (without a zero section it takes the positive section
// and no sign).
//
// Decimal sign and thousands separator come from programLocale(); the minus
// sign is always "-", which every code page can store.
#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace platform {

QString formatNumber(double value, QStringView picture);

// What a key types into a number box: "." and "," both enter the program
// locale's decimal sign, so the keypad's decimal key works whatever the
// system's settings; any other text stands as typed.
QString numberKeyText(const QString& typed);

// The general format: the shortest form with up to 15 significant digits, the
// locale's decimal sign, no thousands separator ("2", "1,5", "0,1"). Values of
// 1e15 and beyond or below 1e-5 use an exponent ("1E20", "1,5E-7").
QString formatGeneral(double value);

// Reads a number as the operator types it: optional blanks around it, an
// optional sign, digits with at most one decimal sign, which may be "." or ","
// whatever the locale (either key enters the decimal sign), and an optional
// exponent. No thousands separators. Empty or malformed text gives nullopt.
std::optional<double> parseNumber(QStringView text);

// As parseNumber, but malformed or empty text raises platform::Error
// "'<text>' is not a valid floating point value".
double toNumber(QStringView text);

}  // namespace platform
