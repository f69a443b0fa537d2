// The program's one way to the files on disk: positioned reads and writes,
// syncs that make data survive a power cut, a read-only view of the front of
// a file, byte-range locks that other processes see, and the whole-file
// operations built on them (durable replace, durable write, durable copy).
//
// Contract
// * Every failure raises FileError naming the file, with the step that
//   failed and the system's error number. A File may be given a function of
//   its own to raise with (a layer that has its own error kind): it receives
//   the FileError and must throw.
// * "Durable" means the data, the size and the name are on the disk when the
//   call returns: the file is synced, and after a rename so is its folder.
// * Whole-file writes never leave a partial file under the target's name:
//   the bytes go to a temporary file beside it, which is synced and renamed
//   over the target; on failure the target is as it was and the temporary
//   file is gone.
// * Locks are open-file-description locks where the system has them: they
//   belong to this File, not to the whole process, so closing another handle
//   on the same file never drops them, and two File objects of one process
//   conflict like two processes would.
//
// This header knows no operating system. The POSIX implementation is
// file_posix.cpp; the Windows one goes in file_windows.cpp and maps readAt and
// writeAt onto ReadFile/WriteFile with OVERLAPPED offsets, syncData onto
// FlushFileBuffers, the locks onto LockFileEx/UnlockFileEx ranges (which
// behave like the open-file-description locks), mapFront onto a read-only
// file mapping, and replaceFile onto MoveFileEx with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH (clearing a read-only
// attribute on the target first, which would refuse the move there).
#pragma once

#include "platform/error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace platform {

class File {
  public:
    enum class Access { ReadOnly, ReadWrite };
    // No: the file must exist. Yes: made empty, or created. New: created, and
    // refused when a file of that name exists.
    enum class Create { No, Yes, New };
    // Throws the failure it is given, or an error of the caller's kind.
    using Raise = void (*)(const FileError& failure);

    File(const QString& path, Access access, Create create = Create::No, Raise raise = nullptr);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

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

    // Byte-range locks; offsets far beyond the data are allowed. tryLock
    // never waits; lock waits up to timeoutMs.
    bool tryLock(int64_t offset, int64_t length, bool exclusive);
    bool lock(int64_t offset, int64_t length, bool exclusive, int timeoutMs);
    void unlock(int64_t offset, int64_t length);

    // True while `path` still names this very file (not one renamed over it).
    bool isAt(const QString& path) const;

  private:
    [[noreturn]] void fail(FileError::Action action) const;

    QString path_;
    Raise raise_;
    intptr_t handle_ = -1;
    bool writable_ = false;
    void* map_ = nullptr;
    size_t mapLength_ = 0;
};

// A file written from start to end under a temporary name beside `path`;
// commit() makes it durable and puts it in place of `path` in one step.
// Destroyed uncommitted, it removes the temporary file and `path` stays as it
// was. A file that exists keeps its permissions; a symbolic link stays and
// its target is written.
class DurableFile {
  public:
    explicit DurableFile(const QString& path);
    ~DurableFile();
    DurableFile(const DurableFile&) = delete;
    DurableFile& operator=(const DurableFile&) = delete;

    void write(QByteArrayView bytes);
    void commit();

  private:
    QString path_;
    QString tempPath_;
    std::unique_ptr<File> file_;
    int64_t written_ = 0;
};

// Writes `bytes` as the whole content of `path`, durably (see DurableFile).
void writeFile(const QString& path, QByteArrayView bytes);

// Reads a whole file, stopping once more than `limit` bytes have come (the
// caller refuses what is that long). FileError says whether the open or the
// read failed.
QByteArray readFile(const QString& path, int64_t limit);

// Copies `from` to `to`, which must not exist, and makes the copy durable. A
// partial copy is removed.
void copyFile(const QString& from, const QString& to);

// Puts the file `from` in place of `to` in one step and makes the rename
// durable. `from` must already be durable itself.
void replaceFile(const QString& from, const QString& to);

// Removes a file; true when it is gone afterwards.
bool removeFile(const QString& path);

// Makes a rename inside `folder` survive a power cut.
void syncFolder(const QString& folder);

// The path as the standard library's file system functions take it.
std::filesystem::path fsPath(const QString& path);

}  // namespace platform
