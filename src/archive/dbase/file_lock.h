// The few operating-system file services the table engine needs: positioned
// reads and writes, data sync, a read-only view of the first bytes of a file,
// and byte-range locks that other processes see.
//
// Locks are open-file-description locks where the system has them (Linux):
// they belong to this OsFile, not to the whole process, so closing another
// handle on the same file never drops them, and two OsFile objects of one
// process conflict like two processes would. Windows will map them onto
// LockFileEx ranges, which behave the same way; the offsets used lie far
// beyond any real data, which both systems allow.
//
// Every failure raises EngineError with the file's name.
#pragma once

#include <QString>
#include <cstddef>
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

class OsFile {
  public:
    enum class Access { ReadOnly, ReadWrite };
    enum class Create { No, Yes };

    OsFile(const QString& path, Access access, Create create = Create::No);
    ~OsFile();
    OsFile(const OsFile&) = delete;
    OsFile& operator=(const OsFile&) = delete;

    const QString& path() const { return path_; }
    bool writable() const { return writable_; }

    int64_t size() const;
    // Reads up to n bytes; returns how many were there (fewer at the end of the file).
    size_t readAt(int64_t offset, void* buffer, size_t n) const;
    void writeAt(int64_t offset, const void* data, size_t n);
    // Writes and makes durable these bytes and the file size, and nothing else:
    // other unsynced writes to the file stay in the system's cache, so the
    // disk is asked to store only the blocks these bytes lie in.
    void writeDurably(int64_t offset, const void* data, size_t n);
    void resize(int64_t size);
    // Makes written data (and the size) durable.
    void syncData();

    // A read-only view of the first n bytes, kept coherent with every write
    // to the file by any process. The file must stay at least n bytes long.
    const unsigned char* mapFront(size_t n);

    // Byte-range locks. tryLock never waits; lock waits up to timeoutMs.
    bool tryLock(int64_t offset, int64_t length, bool exclusive);
    bool lock(int64_t offset, int64_t length, bool exclusive, int timeoutMs);
    void unlock(int64_t offset, int64_t length);

    // True while `path` still names this very file (not one renamed over it).
    bool isAt(const QString& path) const;

    // Removes a file; true when it is gone afterwards.
    static bool remove(const QString& path);
    // Atomically replaces `to` by `from` and makes the rename durable.
    static void replace(const QString& from, const QString& to);

  private:
    [[noreturn]] void fail(const char* what) const;

    QString path_;
    int fd_ = -1;
    bool writable_ = false;
    void* map_ = nullptr;
    size_t mapLength_ = 0;
};

}  // namespace dbase
