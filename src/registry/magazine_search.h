// The registry's search: the first magazine, in the order of the dataset,
// whose search field holds a piece of text.
//
// The comparison turns a to z into A to Z on both sides and changes nothing
// else, so an accented letter matches only itself ("è" never finds "È"). A
// number field is read as the general number format writes it (the regional
// decimal sign, no thousands separator, nothing for a blank field), so "2,5"
// finds a price of 2.5 in an Italian shop; the periodicity is its code letter.
// An empty search text is found nowhere.
#pragma once

#include <QString>

namespace dbase {
class Cursor;
}

namespace registry {

enum class SearchFrom {
    Start,        // from the first magazine
    AfterCurrent  // from the magazine after the current one
};

QString upperAtoZ(QString text);

// The field of the current record as the search reads it.
QString searchableText(const dbase::Cursor& magazines, const QString& fieldName);

// Walks `magazines` from `from`: true with the magazine found current; false
// with the last magazine current (or none, on an empty register).
bool findMagazine(dbase::Cursor& magazines, const QString& fieldName, const QString& text,
                  SearchFrom from);

// "   Nessuna presenza di "..." trovata!   " (from the start) or
// "   Nessun altra presenza di "..." trovata!   " (continued), with the
// search text upper-cased as the search compares it.
QString notFoundText(const QString& text, SearchFrom from);

}  // namespace registry
