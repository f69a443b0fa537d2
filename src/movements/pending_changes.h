// A registration that fails half-way may leave a cursor in edit or insert
// state with some fields already set. The cursor would post that record at
// its next move, writing a change nobody confirmed; this guard drops it
// instead when the scope ends by an exception.
#pragma once

#include "archive/dbase/cursor.h"

#include <exception>
#include <initializer_list>
#include <vector>

namespace movements {

class DropPendingOnFailure {
  public:
    DropPendingOnFailure(std::initializer_list<dbase::Cursor*> cursors)
        : cursors_(cursors), exceptions_(std::uncaught_exceptions()) {}
    ~DropPendingOnFailure() {
        if (std::uncaught_exceptions() <= exceptions_) return;
        for (dbase::Cursor* c : cursors_) {
            try {
                if (c->isOpen() && c->state() != dbase::Cursor::State::Browse) c->cancel();
            } catch (...) {
                // Already failing: the first error is the one the operator sees.
            }
        }
    }
    DropPendingOnFailure(const DropPendingOnFailure&) = delete;
    DropPendingOnFailure& operator=(const DropPendingOnFailure&) = delete;

  private:
    std::vector<dbase::Cursor*> cursors_;
    int exceptions_;
};

}  // namespace movements
