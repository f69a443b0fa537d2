// Registering a return of unsold copies to the distributor.
//
// A journal record of type "R" with minus the quantity, and the issue's stock
// lowered by the quantity under the record's lock, as one unit
// (movement_post.h): both stored or neither. The journal record carries the
// issue's own prices, the ones the copies were delivered at and the
// distributor credits; without a stock record for the issue it is written
// alone, with the magazine's prices.
#pragma once

#include <QDate>
#include <QString>

class TData1;

namespace movements {

enum class ReturnOutcome {
    Registered,
    MagazineMissing,  // nothing written
    IssueMissing,     // the journal record stays, with the magazine's prices; stock unchanged
};

// `quantity` as the window hands it over: the over-10000 and zero-means-one
// rules already applied.
ReturnOutcome registerReturn(TData1& data, const QString& code, const QDate& date, double quantity);

}  // namespace movements
