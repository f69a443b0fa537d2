// Registering a return of unsold copies to the distributor.
//
// A journal record of type "R" with minus the quantity, then the issue's
// stock lowered by the quantity. The journal record is first written with the
// magazine's prices and then, once the stock record is found, given the
// issue's own prices: the prices the copies were delivered at are the ones
// the distributor credits. Each post is durable; there is no transaction.
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
