// Registering a delivery: the writes of one stock-in, in the order the
// archive expects them, each post durable before the next starts.
//
// 1. The magazine record takes the window's prices and periodicity when any of
//    the three differs (prices exactly, the periodicity text case-sensitively;
//    only its first character fits the field).
// 2. A journal record of type "C" with the quantity, positive as delivered,
//    and the stock record: created on its first delivery, else raised
//    by the quantity under the record's lock; last delivery date and
//    return-by date from this one. The two are one unit (movement_post.h):
//    both stored or neither.
// A failure after step 1 leaves the magazine's new prices in place.
// The caller has applied the window's rules on the quantity (over 10000
// refused, blank taken as one) and the length of the code.
#pragma once

#include <QDate>
#include <QString>

class TData1;

namespace movements {

struct StockInEntry {
    QString code;  // issue key as read
    QDate date;
    double quantity = 0;
    double price = 0;     // cover price
    double cost = 0;      // purchase price per copy
    QString periodicity;  // the periodicity field's text, as typed
};

enum class StockInOutcome { Registered, MagazineMissing };

// MagazineMissing writes nothing: the magazine register has no record for the
// code's barcode (an index that needs rebuilding, since the reading found one).
StockInOutcome registerStockIn(TData1& data, const StockInEntry& entry);

}  // namespace movements
