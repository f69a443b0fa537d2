// The file layer on POSIX systems (Linux first): file descriptors, pread and
// pwrite, fdatasync where the system has it, open-file-description locks, and
// rename followed by a sync of the folder.
#include "platform/file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace platform {
namespace {

#if defined(F_OFD_SETLK)
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;  // per-process locks: callers keep one handle per file
#endif

int openFlags(File::Access access, File::Create create) {
    int flags = O_CLOEXEC | (access == File::Access::ReadWrite ? O_RDWR : O_RDONLY);
    if (create == File::Create::Yes) flags |= O_CREAT | O_TRUNC;
    if (create == File::Create::New) flags |= O_CREAT | O_EXCL;
    return flags;
}

}  // namespace

File::File(const QString& path, Access access, Create create, Raise raise)
    : path_(path), raise_(raise) {
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(native.constData(), openFlags(access, create), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail(create == Create::No ? FileError::Action::Open : FileError::Action::Create);
    handle_ = fd;
    writable_ = access == Access::ReadWrite;
}

File::~File() {
    if (map_) ::munmap(map_, mapLength_);
    if (handle_ >= 0) ::close(int(handle_));
}

void File::fail(FileError::Action action) const {
    const FileError error(path_, action, errno);
    if (raise_) raise_(error);
    throw error;
}

int64_t File::size() const {
    struct stat st {};
    if (::fstat(int(handle_), &st) != 0) fail(FileError::Action::Examine);
    return st.st_size;
}

size_t File::readAt(int64_t offset, void* buffer, size_t n) const {
    size_t done = 0;
    while (done < n) {
        const ssize_t got =
            ::pread(int(handle_), static_cast<char*>(buffer) + done, n - done, offset + done);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(FileError::Action::Read);
        }
        if (got == 0) break;
        done += size_t(got);
    }
    return done;
}

void File::writeAt(int64_t offset, const void* data, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t put =
            ::pwrite(int(handle_), static_cast<const char*>(data) + done, n - done, offset + done);
        if (put < 0) {
            if (errno == EINTR) continue;
            fail(FileError::Action::Write);
        }
        done += size_t(put);
    }
}

void File::writeDurably(int64_t offset, const void* data, size_t n) {
#if defined(RWF_DSYNC)
    // A data-synchronous write syncs the range it wrote (and the size), not
    // the whole file the way fdatasync does: a header changed in the same
    // breath is not carried along, so a post costs the disk one block, like
    // an appending write followed by fdatasync.
    size_t done = 0;
    while (done < n) {
        iovec part{const_cast<char*>(static_cast<const char*>(data)) + done, n - done};
        const ssize_t put =
            ::pwritev2(int(handle_), &part, 1, offset + int64_t(done), RWF_DSYNC);
        if (put < 0) {
            if (errno == EINTR) continue;
            if ((errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) && done == 0)
                break;  // a kernel without it: the plain way below
            fail(FileError::Action::Write);
        }
        done += size_t(put);
    }
    if (done == n) return;
#endif
    writeAt(offset, data, n);
    syncData();
}

void File::resize(int64_t size) {
    while (::ftruncate(int(handle_), size) != 0) {
        if (errno != EINTR) fail(FileError::Action::Resize);
    }
}

void File::syncData() {
#if defined(__linux__)
    // The data and what is needed to read it back (the size) is all that
    // must survive; fdatasync skips the journal commit of a timestamp change.
    while (::fdatasync(int(handle_)) != 0) {
#else
    while (::fsync(int(handle_)) != 0) {
#endif
        if (errno != EINTR) fail(FileError::Action::Sync);
    }
}

const unsigned char* File::mapFront(size_t n) {
    if (map_ && mapLength_ >= n) return static_cast<const unsigned char*>(map_);
    if (map_) ::munmap(map_, mapLength_);
    map_ = ::mmap(nullptr, n, PROT_READ, MAP_SHARED, int(handle_), 0);
    if (map_ == MAP_FAILED) {
        map_ = nullptr;
        fail(FileError::Action::Map);
    }
    mapLength_ = n;
    return static_cast<const unsigned char*>(map_);
}

bool File::tryLock(int64_t offset, int64_t length, bool exclusive) {
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = length;
    while (::fcntl(int(handle_), kSetLock, &fl) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        fail(FileError::Action::Lock);
    }
    return true;
}

bool File::lock(int64_t offset, int64_t length, bool exclusive, int timeoutMs) {
    // Polling instead of a blocking wait: a process that hangs while holding a
    // lock must give the others an error, not freeze them.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::microseconds(50);
    while (!tryLock(offset, length, exclusive)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(5000));
    }
    return true;
}

void File::unlock(int64_t offset, int64_t length) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = length;
    while (::fcntl(int(handle_), kSetLock, &fl) != 0) {
        if (errno != EINTR) fail(FileError::Action::Unlock);
    }
}

bool File::isAt(const QString& path) const {
    struct stat mine {
    }, there{};
    if (::fstat(int(handle_), &mine) != 0) return false;
    if (::stat(QFile::encodeName(path).constData(), &there) != 0) return false;
    return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

// ---------------------------------------------------------------- whole files

namespace {

// The file a name stands for: a link is written through, not replaced by a
// file of its own, even where its target does not exist yet.
QString finalTarget(const QString& path) {
    QFileInfo info(path);
    for (int depth = 0; info.isSymLink() && depth < 32; ++depth) info.setFile(info.symLinkTarget());
    return info.isSymLink() ? path : info.filePath();
}

}  // namespace

DurableFile::DurableFile(const QString& path) : path_(finalTarget(path)) {
    // A fresh name each time: two savers of one file never share a
    // temporary, and a leftover of an interrupted run is never reused.
    for (int attempt = 0;; ++attempt) {
        tempPath_ = path_ + QStringLiteral(".%1").arg(
                                QRandomGenerator::global()->bounded(0x1000000), 6, 16,
                                QLatin1Char('0'));
        try {
            file_ = std::make_unique<File>(tempPath_, File::Access::ReadWrite, File::Create::New);
            break;
        } catch (const FileError& error) {
            if (error.systemError() != EEXIST || attempt == 100) {
                tempPath_.clear();
                throw;
            }
        }
    }
    struct stat existing {};
    if (::stat(QFile::encodeName(path_).constData(), &existing) == 0)
        ::chmod(QFile::encodeName(tempPath_).constData(), existing.st_mode & 07777);
}

DurableFile::~DurableFile() {
    file_.reset();
    if (!tempPath_.isEmpty()) removeFile(tempPath_);
}

void DurableFile::write(QByteArrayView bytes) {
    file_->writeAt(written_, bytes.data(), size_t(bytes.size()));
    written_ += bytes.size();
}

void DurableFile::commit() {
    file_->syncData();
    file_.reset();
    replaceFile(tempPath_, path_);
    tempPath_.clear();
}

void writeFile(const QString& path, QByteArrayView bytes) {
    DurableFile file(path);
    file.write(bytes);
    file.commit();
}

QByteArray readFile(const QString& path, int64_t limit) {
    const File file(path, File::Access::ReadOnly);
    QByteArray data;
    const int64_t expected = file.size();
    if (expected <= limit) data.reserve(qsizetype(expected) + 1);
    constexpr qsizetype kChunk = 1 << 20;
    for (;;) {
        const qsizetype before = data.size();
        data.resize(before + kChunk);
        const size_t got = file.readAt(before, data.data() + before, size_t(kChunk));
        data.resize(before + qsizetype(got));
        if (got < size_t(kChunk) || data.size() > limit) break;
    }
    return data;
}

void copyFile(const QString& from, const QString& to) {
    const File source(from, File::Access::ReadOnly);
    auto target = std::make_unique<File>(to, File::Access::ReadWrite, File::Create::New);
    try {
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        for (int64_t offset = 0;;) {
            const size_t got = source.readAt(offset, chunk.data(), size_t(chunk.size()));
            target->writeAt(offset, chunk.constData(), got);
            offset += int64_t(got);
            if (got < size_t(chunk.size())) break;
        }
        target->syncData();
    } catch (...) {
        target.reset();
        removeFile(to);
        throw;
    }
}

void replaceFile(const QString& from, const QString& to) {
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw FileError(to, FileError::Action::Replace, errno);
    // The rename itself lives in the folder: sync it too.
    syncFolder(QFileInfo(to).absolutePath());
}

bool removeFile(const QString& path) {
    return ::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT;
}

void syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

}  // namespace platform
