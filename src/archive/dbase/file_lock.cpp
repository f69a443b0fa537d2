#include "archive/dbase/file_lock.h"

#include "archive/dbase/engine_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#if defined(_WIN32)
#error "The Windows file layer (ReadFile/WriteFile at offsets, LockFileEx) is not written yet"
#endif

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace dbase {
namespace {

QString systemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

#if defined(F_OFD_SETLK)
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;  // per-process locks: the registry keeps one handle per file
#endif

}  // namespace

OsFile::OsFile(const QString& path, Access access, Create create) : path_(path) {
    const QByteArray native = QFile::encodeName(path);
    int flags = O_CLOEXEC | (access == Access::ReadWrite ? O_RDWR : O_RDONLY);
    if (create == Create::Yes) flags |= O_CREAT | O_TRUNC;
    do {
        fd_ = ::open(native.constData(), flags, 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw EngineError(
                QStringLiteral("File not found: %1").arg(QDir::toNativeSeparators(path)));
        throw EngineError(QStringLiteral("Cannot open %1: %2")
                              .arg(QDir::toNativeSeparators(path), systemMessage(error)));
    }
    writable_ = access == Access::ReadWrite;
}

OsFile::~OsFile() {
    if (map_) ::munmap(map_, mapLength_);
    if (fd_ >= 0) ::close(fd_);
}

void OsFile::fail(const char* what) const {
    const int error = errno;
    throw EngineError(
        QStringLiteral("Cannot %1 %2: %3")
            .arg(QLatin1String(what), QDir::toNativeSeparators(path_), systemMessage(error)));
}

int64_t OsFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) fail("examine");
    return st.st_size;
}

size_t OsFile::readAt(int64_t offset, void* buffer, size_t n) const {
    size_t done = 0;
    while (done < n) {
        const ssize_t got =
            ::pread(fd_, static_cast<char*>(buffer) + done, n - done, offset + done);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail("read");
        }
        if (got == 0) break;
        done += size_t(got);
    }
    return done;
}

void OsFile::writeAt(int64_t offset, const void* data, size_t n) {
    size_t done = 0;
    while (done < n) {
        const ssize_t put =
            ::pwrite(fd_, static_cast<const char*>(data) + done, n - done, offset + done);
        if (put < 0) {
            if (errno == EINTR) continue;
            fail("write");
        }
        done += size_t(put);
    }
}

void OsFile::writeDurably(int64_t offset, const void* data, size_t n) {
#if defined(RWF_DSYNC)
    // A data-synchronous write syncs the range it wrote (and the size), not
    // the whole file the way fdatasync does: a header changed in the same
    // breath is not carried along, so a post costs the disk one block, like
    // an appending write followed by fdatasync.
    size_t done = 0;
    while (done < n) {
        iovec part{const_cast<char*>(static_cast<const char*>(data)) + done, n - done};
        const ssize_t put = ::pwritev2(fd_, &part, 1, offset + int64_t(done), RWF_DSYNC);
        if (put < 0) {
            if (errno == EINTR) continue;
            if ((errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) && done == 0)
                break;  // a kernel without it: the plain way below
            fail("write");
        }
        done += size_t(put);
    }
    if (done == n) return;
#endif
    writeAt(offset, data, n);
    syncData();
}

void OsFile::resize(int64_t size) {
    while (::ftruncate(fd_, size) != 0) {
        if (errno != EINTR) fail("resize");
    }
}

void OsFile::syncData() {
#if defined(__linux__)
    while (::fdatasync(fd_) != 0) {
#else
    while (::fsync(fd_) != 0) {
#endif
        if (errno != EINTR) fail("write");
    }
}

const unsigned char* OsFile::mapFront(size_t n) {
    if (map_ && mapLength_ >= n) return static_cast<const unsigned char*>(map_);
    if (map_) ::munmap(map_, mapLength_);
    map_ = ::mmap(nullptr, n, PROT_READ, MAP_SHARED, fd_, 0);
    if (map_ == MAP_FAILED) {
        map_ = nullptr;
        fail("map");
    }
    mapLength_ = n;
    return static_cast<const unsigned char*>(map_);
}

bool OsFile::tryLock(int64_t offset, int64_t length, bool exclusive) {
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = length;
    while (::fcntl(fd_, kSetLock, &fl) != 0) {
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EACCES) return false;
        fail("lock");
    }
    return true;
}

bool OsFile::lock(int64_t offset, int64_t length, bool exclusive, int timeoutMs) {
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

void OsFile::unlock(int64_t offset, int64_t length) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = length;
    while (::fcntl(fd_, kSetLock, &fl) != 0) {
        if (errno != EINTR) fail("unlock");
    }
}

bool OsFile::isAt(const QString& path) const {
    struct stat mine {
    }, there{};
    if (::fstat(fd_, &mine) != 0) return false;
    if (::stat(QFile::encodeName(path).constData(), &there) != 0) return false;
    return mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

bool OsFile::remove(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    return ::unlink(native.constData()) == 0 || errno == ENOENT;
}

void OsFile::replace(const QString& from, const QString& to) {
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        const int error = errno;
        throw EngineError(QStringLiteral("Cannot replace %1: %2")
                              .arg(QDir::toNativeSeparators(to), systemMessage(error)));
    }
    // The rename itself lives in the folder: sync it too.
    const QByteArray dir = QFile::encodeName(QFileInfo(to).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace dbase
