// Sharing a table: the one Table per file of this process, and the locks
// through which processes cooperate: the write lock held for each change,
// the index-dirty byte, record locks held while a cursor edits, and sole use
// for whole-table operations. Readers notice other processes' changes through
// the change marker in the mapped header.
#include "archive/dbase/table.h"

#include "archive/dbase/engine_settings.h"
#include "archive/dbase/table_internal.h"
#include "platform/byte_order.h"

#include <atomic>
#include <cstring>

namespace dbase {
namespace {

ChangeMarker markerOf(const unsigned char* base) {
    ChangeMarker m;
    m.present = std::memcmp(base + 16, "TSM1", 4) == 0;
    if (m.present) {
        m.changes = platform::readLe32(base + 20);
        m.indexed = platform::readLe32(base + 24);
    }
    return m;
}

}  // namespace

// Holds the write lock for one change and brings the view up to date first.
Table::WriteLock::WriteLock(Table& table, bool catchUp) : t_(table) {
    if (!t_.writable())
        throw EngineError(QStringLiteral("The table %1 is read-only").arg(native(t_.path_)));
    if (t_.shared_) {
        if (!t_.file_->lock(kWriteLockOffset, 1, true, lockTimeoutMs())) lockedByAnother(t_.path_);
        locked_ = true;
    }
    if (!catchUp) return;
    try {
        uint32_t count = 0;
        const ChangeMarker m = t_.peekMarker(&count);
        const bool indexSuspect = m.present && m.changes != m.indexed && t_.indexNeedsRebuild(m);
        if (m.present != t_.layout_.marker.present || m.changes != t_.changes_ ||
            count != t_.count_) {
            // A writer that died while it flushed the index can leave a tag
            // header that points past the pages the file header counts:
            // reading that index would only fail. checkOpenState() below
            // rebuilds it from the table instead.
            if (indexSuspect) t_.index_.reset();
            t_.reloadFromDisk();
        }
        if (indexSuspect || t_.file_->size() != t_.recordOffset(t_.count_ + 1) + 1) {
            // A writer died halfway through a change, or left index pages
            // unsynced and is gone, or died after writing records that the
            // header does not count yet (appends write them first).
            t_.checkOpenState();
        }
    } catch (...) {
        release();
        throw;
    }
}

void Table::WriteLock::release() noexcept {
    if (!locked_) return;
    locked_ = false;
    try {
        t_.file_->unlock(kWriteLockOffset, 1);
    } catch (...) {
    }
}

std::shared_ptr<Table> Table::open(const QString& path, Access access) {
    const QString canonical = canonicalOf(path);
    auto& tables = registry();
    if (auto it = tables.find(canonical); it != tables.end()) {
        if (auto table = it->second.table.lock()) {
            if (access == Access::Exclusive || it->second.sole) inUse(path);
            return table;
        }
        tables.erase(it);
    }
    std::shared_ptr<Table> table(new Table(path, canonical, access));
    tables[canonical] = RegistryEntry{table, access == Access::Exclusive};
    return table;
}

ChangeMarker Table::peekMarker(uint32_t* count) const {
    unsigned char base[kBaseHeaderSize];
    std::atomic_thread_fence(std::memory_order_acquire);
    if (front_) {
        std::memcpy(base, front_, sizeof base);
    } else if (file_->readAt(0, base, sizeof base) != sizeof base) {
        std::memset(base, 0, sizeof base);
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    if (count) *count = platform::readLe32(base + 4);
    return markerOf(base);
}

void Table::catchUp() {
    if (!shared_) return;
    uint32_t count = 0;
    ChangeMarker m = peekMarker(&count);
    if (m.present ? (m.changes == changes_ && layout_.marker.present)
                  : (count == count_ && !layout_.marker.present))
        return;
    if (writable()) {
        // Taking the write lock waits for a writer halfway through, re-reads
        // the header and repairs what a crashed writer left.
        WriteLock lock(*this);
        return;
    }
    if (!file_->lock(kWriteLockOffset, 1, false, lockTimeoutMs())) lockedByAnother(path_);
    try {
        reloadFromDisk();
    } catch (...) {
        file_->unlock(kWriteLockOffset, 1);
        throw;
    }
    file_->unlock(kWriteLockOffset, 1);
}

bool Table::unchangedSinceCatchUp() const {
    if (!shared_) return true;
    uint32_t count = 0;
    const ChangeMarker m = peekMarker(&count);
    if (!m.present) return count == count_;
    return m.changes == changes_;
}

bool Table::indexNeedsRebuild(const ChangeMarker& m) {
    if (m.indexed == kInChange) return true;  // a writer died halfway
    if (dirtyHeld_ || !writable()) return false;
    // Unsynced pages of a live writer are in the system's cache, which every
    // process reads; only a crash of the whole system loses them, and then
    // nobody holds this byte.
    if (!file_->tryLock(kIndexDirtyLockOffset, 1, true)) return false;
    file_->unlock(kIndexDirtyLockOffset, 1);
    return true;
}

void Table::holdIndexDirty() {
    if (dirtyHeld_) return;
    if (!file_->lock(kIndexDirtyLockOffset, 1, false, lockTimeoutMs())) lockedByAnother(path_);
    dirtyHeld_ = true;
    dirtySince_ = std::chrono::steady_clock::now();
}

void Table::releaseIndexDirty() noexcept {
    if (!dirtyHeld_) return;
    dirtyHeld_ = false;
    try {
        file_->unlock(kIndexDirtyLockOffset, 1);
    } catch (...) {
    }
}

void Table::lockRecord(uint32_t recno) {
    auto held = recordLocks_.find(recno);
    if (held != recordLocks_.end()) {
        ++held->second;  // another cursor of this process: it shares the lock
        return;
    }
    // Without write access there is nothing to protect: the post is refused anyway.
    if (shared_ && writable() && !file_->lock(recordLockOffset(recno), 1, true, lockTimeoutMs()))
        lockedByAnother(path_);
    recordLocks_.emplace(recno, 1);
}

void Table::unlockRecord(uint32_t recno) noexcept {
    auto held = recordLocks_.find(recno);
    if (held == recordLocks_.end()) return;  // dropped by a pack or empty
    if (--held->second > 0) return;
    recordLocks_.erase(held);
    if (!shared_ || !writable()) return;
    try {
        file_->unlock(recordLockOffset(recno), 1);
    } catch (...) {
        // Closing the file drops it in any case.
    }
}

void Table::dropRecordLocks() noexcept {
    // Record numbers from before a pack or an empty name nothing any more.
    while (!recordLocks_.empty()) {
        recordLocks_.begin()->second = 1;
        unlockRecord(recordLocks_.begin()->first);
    }
}

bool Table::upgradeToSoleUse() {
    if (!shared_) return true;
    return file_->tryLock(kOpenLockOffset, 1, true);
}

void Table::releaseSoleUse() {
    if (shared_) file_->tryLock(kOpenLockOffset, 1, false);
}

}  // namespace dbase
