// Deleting old movements and exhausted stock records (the Utilità page's
// "&Cancellazione").
//
// On or before the chosen day (the day itself included):
//   * every journal record whose DATA is on or before it goes, in date order;
//   * every stock record whose last stock-in UCARICO is on or before it and
//     whose stock GIACENZA is 0 or less goes, in issue-key order.
// An empty date compares as the earliest of all, an empty number as 0.
// Magazines are never deleted. Deleted records are hidden at once and leave
// the files at the next index rebuild's pack.
//
// Each deletion is durable when it returns, so a purge cut short leaves every
// record either deleted or not; what was deleted before a failure stays
// deleted.
#pragma once

#include <QDate>
#include <QString>

namespace dbase {
class Cursor;
}

namespace maintenance {

inline const QString kPurgeQuestion = QStringLiteral("   Confermi la cancellazione ?   ");
inline const QString kPurgeDone = QStringLiteral("   Cancellazione effettuata   ");

struct PurgeCount {
    int movements = 0;
    int stock = 0;
};

// Deletes as above through the two open cursors.
PurgeCount purgeUpTo(dbase::Cursor& giornale, dbase::Cursor& giacenza, const QDate& day);

// `Button2Click` without the window: nothing without a valid date; the
// question, then the purge and the final message. Returns false when nothing
// was done.
bool Button2Click(dbase::Cursor& giornale, dbase::Cursor& giacenza, const QDate& day);

}  // namespace maintenance
