// A demo archive: a newsstand's year, for a newcomer to see a living shop.
//
// A few hundred invented magazines with EAN-13 codes of periodicals (prefix
// 977, valid check digit), each issue keyed by its code and a 2- or 5-digit
// add-on; every issue delivered over the last year, sold copy by copy, and
// returned once its return-by date has come, so the stock of current issues
// is what a shop would have on its shelves today. The same `seed` and `today`
// always give the same archive.
//
// Written through the table engine in one batch per table, so a year of
// movements takes a moment, not minutes.
#pragma once

#include <QDate>
#include <QString>
#include <cstdint>

namespace setup {

struct DemoCounts {
    int magazines = 0;
    int stock = 0;
    int movements = 0;
};

// EAN-13 check digit of the first twelve digits of `code`.
int ean13CheckDigit(QStringView twelveDigits);

// Fills the three tables of `folder`, which must exist and be empty; raises
// platform::Error otherwise, and changes nothing then.
DemoCounts writeDemoArchive(const QString& folder, const QDate& today = QDate::currentDate(),
                            uint32_t seed = 20260101);

}  // namespace setup
