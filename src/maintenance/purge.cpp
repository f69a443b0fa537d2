#include "maintenance/purge.h"

#include "archive/dbase/cursor.h"
#include "platform/prompts.h"

namespace maintenance {

namespace {

// An empty date is the earliest of all: it is on or before any day.
bool onOrBefore(const QDate& stored, const QDate& day) {
    return !stored.isValid() || stored <= day;
}

// Visits every record of `cursor` in the order of `tag`, deleting those
// `doomed` accepts. After a deletion the next record is current, so the
// cursor only moves on past a record it keeps.
template <typename Doomed>
int deleteWhere(dbase::Cursor& cursor, const QString& tag, Doomed doomed) {
    cursor.setIndex(tag);
    cursor.first();
    int deleted = 0;
    while (!cursor.isEmpty() && !cursor.eof()) {
        if (doomed(cursor)) {
            // With the last record gone the previous one, already kept, is
            // current and eof() is set.
            cursor.deleteRecord();
            ++deleted;
        } else {
            cursor.next();
        }
    }
    return deleted;
}

}  // namespace

PurgeCount purgeUpTo(dbase::Cursor& giornale, dbase::Cursor& giacenza, const QDate& day) {
    PurgeCount count;
    count.movements = deleteWhere(giornale, QStringLiteral("DATA"), [&day](dbase::Cursor& c) {
        return onOrBefore(c.date(QStringLiteral("DATA")), day);
    });
    count.stock = deleteWhere(giacenza, QStringLiteral("BARCODE2"), [&day](dbase::Cursor& c) {
        return onOrBefore(c.date(QStringLiteral("UCARICO")), day) &&
               c.number(QStringLiteral("GIACENZA")) <= 0;
    });
    giornale.first();
    giacenza.first();
    return count;
}

bool Button2Click(dbase::Cursor& giornale, dbase::Cursor& giacenza, const QDate& day) {
    if (!day.isValid()) return false;
    if (!platform::prompts().question(kPurgeQuestion)) return false;
    purgeUpTo(giornale, giacenza, day);
    platform::prompts().warning(kPurgeDone);
    return true;
}

}  // namespace maintenance
