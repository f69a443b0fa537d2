// What a code read into a movement window's barcode field means.
//
// The scanner types a cover's code into the field as a keyboard would, and
// the window reads the field when the focus leaves it. The whole text counts,
// as typed: it is neither trimmed nor checked for digits. A few short codes
// printed on a card at the counter drive the window instead of naming an
// issue; they are compared before the length. Only 8, 13, 15 and 18
// characters are issue keys (EAN-8, EAN-13, EAN-13 with a 2- or 5-digit
// add-on); a 13-character code in the stock-in window is asked about first,
// because a missed add-on there would stock the wrong issue.
//
// The texts the windows show for readings live here too, so that the three
// windows say the same thing.
#pragma once

#include <QString>

namespace movements {

enum class CounterWindow { StockIn, Sales, Returns };

enum class Reading {
    Ignore,        // empty field in the sales window: nothing happens
    Close,         // "000": the window closes
    ClearList,     // "999" in the sales window: as "&Annulla"
    RegisterSale,  // "888" in the sales window: as "&Scarica"
    Confirm,       // 13 characters in the stock-in window: ask, then LookUp or Bad
    LookUp,        // an issue key: look it up
    Bad,           // bad reading: field emptied, status label says so
};

Reading classifyReading(CounterWindow window, const QString& code);

// Status label texts.
extern const QString kWaitingForReading;  // "in attesa di lettura barcode"
extern const QString kBadReading;         // "errore in lettura..."
// The question asked before a 13-character code is taken in the stock-in window.
QString confirmThirteenText();
// Plain message for an issue with no stock record (sales, returns).
extern const QString kNotStocked;  // "Scaricamento impossibile! articolo non caricato"
// Plain message when a registration finds an index that does not hold the record.
extern const QString kIndexError;  // "Errore sugli indici, ... ricostruirli"

}  // namespace movements
