// Dates as the operator sees and types them.
//
// Dates are shown in the locale's short date format (programLocale()), always
// with a four-digit year: a two-digit year would make 2099, the return-by date
// of non-periodic material, indistinguishable from 1999 in lists and exports.
//
// The empty date is an invalid QDate: it shows as empty text, is what a blank
// or unreadable date field yields, and sorts before every real date (QDate
// compares an invalid date as the earliest), which is how purges and filters
// treat a missing date. QDate::addDays() does the day arithmetic; it leaves
// the empty date empty.
#pragma once

#include <QDate>
#include <QString>
#include <QStringView>

namespace platform {

// The locale's short format with every year field widened to "yyyy".
QString shortDateFormat();

// Empty text for the empty date.
QString formatDate(QDate date);

// Reads a typed date: day, month and year in the order of the short format,
// separated by any non-digit characters ("15/3/2024", "15-03-24"). A year of
// one or two digits falls within fifty years of today; a missing year is the
// current one. Blank text, or text that is not a date, gives the empty date.
QDate parseDate(QStringView text);

// The current date, or the date pinned by setToday().
QDate today();

// Pins today() to `date` (for tests); the empty date gives the clock back.
void setToday(QDate date);

// 31 December 2099, the return-by date that stands for "never".
QDate farFutureDate();

}  // namespace platform
