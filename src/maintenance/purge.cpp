#include "maintenance/purge.h"

#include "archive/dbase/cursor.h"
#include "archive/schema.h"
#include "platform/prompts.h"

namespace maintenance {

namespace {

// An empty date is the earliest of all: it is on or before any day.
bool onOrBefore(const QDate& stored, const QDate& day) {
    return !stored.isValid() || stored <= day;
}

// Deletes every record of `cursor` that `doomed` accepts, visited in the
// order of `tag`, as one durable change of the table: hundreds of thousands
// of records cost one sync, not one each.
template <typename Doomed>
int deleteWhere(dbase::Cursor& cursor, const QString& tag, Doomed doomed) {
    cursor.setIndex(tag);
    std::vector<uint32_t> recnos;
    for (cursor.first(); !cursor.isEmpty() && !cursor.eof(); cursor.next()) {
        if (doomed(cursor)) recnos.push_back(cursor.recordNumber());
    }
    const int deleted = int(cursor.table().markDeletedMany(recnos));
    cursor.refresh();
    return deleted;
}

}  // namespace

PurgeCount purgeUpTo(dbase::Cursor& giornale, dbase::Cursor& giacenza, const QDate& day) {
    PurgeCount count;
    count.movements = deleteWhere(giornale, archive::fields::DATA, [&day](dbase::Cursor& c) {
        return onOrBefore(c.date(archive::fields::DATA), day);
    });
    count.stock = deleteWhere(giacenza, archive::fields::BARCODE2, [&day](dbase::Cursor& c) {
        return onOrBefore(c.date(archive::fields::UCARICO), day) &&
               c.number(archive::fields::GIACENZA) <= 0;
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
