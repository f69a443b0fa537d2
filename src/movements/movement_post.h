// One movement of copies is two records: the journal record that says what
// happened and the stock record it changes. Whoever retries after a failure
// must find both stored or neither, or the copies count twice (or not at all).
//
// The caller starts both records first: the stock record put in edit (which
// locks it and reads it as it is on disk, so the new stock is computed from
// that value and not from one read earlier) or appended, its new values set;
// then the journal record appended and filled. postMovement() posts the
// journal record, then the stock record, and
// * returns when both are stored;
// * when the journal post fails, drops the pending stock record (releasing
//   its lock) and passes the error on: nothing is stored;
// * when the stock post fails, deletes the journal record again and passes
//   the error on: nothing is stored. Should that deletion fail too, `stored`
//   says JournalOnly, so that a retry posts only the stock.
// A post whose after-post handler raised has its record on disk already: it
// counts as stored and the unit goes on; that error is passed on once both
// records are stored, with `stored` saying Both.
#pragma once

#include <exception>

namespace dbase {
class Cursor;
}

namespace movements {

enum class Stored { Nothing, JournalOnly, Both };

// `stored` is set before the call returns or throws.
void postMovement(dbase::Cursor& giornale, dbase::Cursor& giacenza, Stored& stored);

// Posts a pending record; returns when it is on disk, also when the
// after-post handler raised afterwards: that error is kept in `handlerError`
// (the first one only). A post that stored nothing throws.
void postKeepingHandlerError(dbase::Cursor& cursor, std::exception_ptr& handlerError);

}  // namespace movements
