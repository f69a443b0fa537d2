#include "movements/movement_post.h"

#include "archive/dbase/cursor.h"

namespace movements {

void postKeepingHandlerError(dbase::Cursor& cursor, std::exception_ptr& handlerError) {
    try {
        cursor.post();
    } catch (...) {
        // post() leaves edit or insert state only once the record is on disk,
        // just before the after-post handler runs.
        if (cursor.state() != dbase::Cursor::State::Browse) throw;
        if (!handlerError) handlerError = std::current_exception();
    }
}

namespace {

void dropPending(dbase::Cursor& cursor) noexcept {
    try {
        if (cursor.isOpen() && cursor.state() != dbase::Cursor::State::Browse) cursor.cancel();
    } catch (...) {
        // Already failing: the first error is the one the operator sees.
    }
}

}  // namespace

void postMovement(dbase::Cursor& giornale, dbase::Cursor& giacenza, Stored& stored) {
    stored = Stored::Nothing;
    std::exception_ptr handlerError;
    try {
        postKeepingHandlerError(giornale, handlerError);
    } catch (...) {
        dropPending(giornale);
        dropPending(giacenza);
        throw;
    }
    stored = Stored::JournalOnly;
    try {
        postKeepingHandlerError(giacenza, handlerError);
    } catch (...) {
        dropPending(giacenza);
        try {
            giornale.deleteRecord();
            stored = Stored::Nothing;
        } catch (...) {
            // The journal record stays; `stored` tells the caller so.
        }
        throw;
    }
    stored = Stored::Both;
    if (handlerError) std::rethrow_exception(handlerError);
}

}  // namespace movements
