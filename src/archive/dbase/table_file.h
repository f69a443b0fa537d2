// A table's file as the engine opens it: the platform's File, raising the
// engine's own error kind, and the lock bytes through which every process
// that opens a table cooperates.
#pragma once

#include "archive/dbase/engine_error.h"
#include "platform/file.h"

#include <cstdint>

namespace dbase {

// The lock bytes of a table file, far beyond any real data (dBASE files stay
// below 2 GiB). Every opener holds the open byte shared (an exclusive open
// holds it exclusively); a writer holds the write byte for one whole change;
// a cursor editing a record holds that record's byte from edit() to post()
// or cancel(). Other programs that want to cooperate lock the same bytes.
constexpr int64_t kOpenLockOffset = int64_t(1) << 62;
constexpr int64_t kWriteLockOffset = kOpenLockOffset + 1;
// Held shared by every process whose index pages are not yet synced.
constexpr int64_t kIndexDirtyLockOffset = kOpenLockOffset - 1;
constexpr int64_t recordLockOffset(uint32_t recno) {
    return kWriteLockOffset + 1 + int64_t(recno);
}

// A file failure as the engine reports it: the same text, as an EngineError.
[[noreturn]] inline void raiseEngineError(const platform::FileError& failure) {
    throw EngineError(failure.message());
}

class TableFile : public platform::File {
  public:
    TableFile(const QString& path, Access access, Create create = Create::No)
        : File(path, access, create, &raiseEngineError) {}

    // platform::replaceFile, raising EngineError.
    static void replace(const QString& from, const QString& to) {
        try {
            platform::replaceFile(from, to);
        } catch (const platform::FileError& failure) {
            raiseEngineError(failure);
        }
    }
};

}  // namespace dbase
