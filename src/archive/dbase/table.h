// A Table is one .dbf file and its production .mdx index, opened once per
// process: every cursor on the same file (by canonical path) shares one Table,
// so a change through one cursor is what the others read next.
//
// Guarantees
// * Durability. append(), update() and markDeleted() return when the
//   record is on disk: one sync per change, of the record's own bytes and the
//   file size only, so the disk stores one block as for a plain appending
//   write. The header is written to the system's cache at once (every process
//   and every other tool reads it there) and reaches the disk with the next
//   whole sync: at close, with the lazy index sync, at the first index change
//   after it, or by the system's own write-back. So after a
//   system crash the count on disk may lag the durable records; the open takes
//   the count from the file size (see torn tails). Appends write the records
//   before the header counts them: the count never covers a record that is not
//   whole. Index pages are written at once but synced lazily: at close, or a
//   few seconds after the first unsynced change.
// * Indexes are derived data. Bytes 16..27 of the header hold a change marker
//   (see ChangeMarker): `changes` is bumped by every change; `indexed` reads
//   0xFFFFFFFF while a change is under way, then
//   stays behind `changes` while some process holds unsynced index pages
//   (each such process holds a shared lock on kIndexDirtyLockOffset), and
//   equals `changes` once the .mdx is synced. Under the write lock, "under
//   way" means a writer died halfway, and "behind" with nobody holding the
//   dirty byte means the pages may be lost: either makes the index rebuilt
//   from the table. A rebuild marks the table first, builds the new .mdx
//   under a temporary name, syncs it, renames it into place and clears the
//   mark last. A missing or unreadable .mdx is rebuilt the same way. Tables
//   written by other tools carry no marker: the first open by this engine
//   checks their index whole once (one entry per record and tag) before it
//   writes the marker. The header on disk never says "current" while the
//   .mdx on disk may lack a durable change: the first index change after an
//   index sync writes and syncs "under way" before it touches anything, and
//   only a sync of the .mdx brings "current" back (doubtIndexDurably()).
// * A change either fails with nothing stored (the bytes are put back) or
//   is stored; if the index turns out damaged after the record was stored,
//   it is rebuilt and the change stands (indexRebuiltByLastChange()); if
//   even that fails, RecordStoredError says the record was stored.
// * Torn tails. At open the record count is taken from the file size: a last
//   record that the size shows incomplete is dropped, complete records beyond
//   the stated count are kept, and a count larger than the file holds is
//   lowered. Either repair rebuilds the index. These are the only repairs,
//   because they are the only traces a torn write leaves; record content is
//   never a reason to drop a record. Any other damage (a header whose lengths
//   disagree with its fields or with the file) makes the open fail with
//   "damaged" before anything on disk is changed.
// * Sharing. Every opener holds a shared lock on one byte far beyond the data
//   (kOpenLockOffset); an exclusive open takes it exclusively and so fails
//   while any other process has the table open. Writers hold an exclusive lock
//   on the next byte (kWriteLockOffset) for one whole change; a record being
//   edited is held on its own byte (recordLockOffset()); a reader that finds the marker
//   changed takes it shared while it re-reads the header and reloads the index.
//   Readers check the marker through a shared memory view of the header: no
//   system call per move. A read that saw the marker move while it worked is
//   done again (the cursor layer does this through consistentRead()).
// * Every failure raises EngineError naming the file.
//
// The caller (one thread) must not keep pointers into the record cache across
// calls, and must re-position cursors whose epoch() changed (pack, empty).
#pragma once

#include "archive/dbase/dbf_file.h"
#include "archive/dbase/engine_error.h"
#include "archive/dbase/mdx_index.h"

#include <QString>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace dbase {

class TableFile;

class Table {
  public:
    enum class Access {
        Shared,     // shared with other processes, unless localShare() is off
        Exclusive,  // no other process and no other open of this process
    };

    // The table of the process for that file, opened if it is not yet.
    static std::shared_ptr<Table> open(const QString& path, Access access = Access::Shared);
    // Creates a new dBASE IV table (refusing to replace an existing file
    // unless asked) with a production index holding one tag per named field.
    static void create(const QString& path, const std::vector<Field>& fields,
                       const std::vector<QString>& tagFields,
                       uint8_t languageDriver = kAnsiLanguageDriver, bool replace = false);
    // Clears byte 28 and the field flags of a closed table, so that it opens
    // without its production index (which the caller may then delete).
    static void clearProductionIndexFlag(const QString& path);
    // The production index file that belongs to a table file.
    static QString productionIndexPath(const QString& tablePath);

    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const QString& path() const { return path_; }
    const DbfLayout& layout() const { return layout_; }
    bool exclusive() const { return !shared_; }
    bool writable() const;
    // Bumped by pack() and empty(): record numbers from before mean nothing.
    uint64_t epoch() const { return epoch_; }

    // Records are numbered 1..recordCount(), deleted ones included.
    uint32_t recordCount() const { return count_; }
    // Reads record recno into `out`; false when there is no such record.
    bool read(uint32_t recno, QByteArray& out);
    uint32_t liveCount();  // records not deleted

    // Durable changes (see the guarantees above).
    uint32_t append(const QByteArray& record);
    void update(uint32_t recno, const QByteArray& record);
    void markDeleted(uint32_t recno);
    // Marks every listed record deleted as one durable change: one sync for
    // all of them, however many. A kill part-way leaves each record wholly
    // deleted or wholly live. Returns how many were live before.
    uint32_t markDeletedMany(const std::vector<uint32_t>& recnos);
    // The lock of one record, held by a cursor from edit() to post() or
    // cancel() so that a read-modify-write cannot lose another process's
    // change. Waits like the write lock and then fails with "locked by another
    // program". Cursors of this process share it (it is counted); pack() and
    // empty() drop every one.
    void lockRecord(uint32_t recno);
    void unlockRecord(uint32_t recno) noexcept;

    // True when the last append() or update() found the index damaged and
    // rebuilt it from the table: the change was stored and is indexed.
    bool indexRebuiltByLastChange() const { return indexRebuilt_; }

    // The production index: nullptr when the table has none.
    MdxIndex* index() { return index_.get(); }
    int tagCount() const { return index_ ? index_->tagCount() : 0; }
    int findTag(const QString& name) const { return index_ ? index_->findTag(name) : -1; }
    int tagField(int tag) const { return tagFields_[size_t(tag)]; }
    QByteArray key(int tag, QByteArrayView record) const;
    bool keyMatches(int tag, QByteArrayView record, QByteArrayView key) const;
    // The key an exact search for `value` looks for; nullopt when no record can
    // match (text longer than the field, or with characters it cannot hold).
    std::optional<QByteArray> searchKey(int tag, QStringView value) const;
    QByteArray searchKey(int tag, const QDate& value) const;

    // Brings this process's view up to date with what other processes wrote.
    // Cheap when nothing changed (a memory read).
    void catchUp();
    // True when no other process changed the table since the last catchUp():
    // what was read since then is consistent.
    bool unchangedSinceCatchUp() const;

    // Table operations.
    void empty();  // all records removed, structure and indexes kept; exclusive use
    // Purges deleted records and regenerates the index. Raises the engine's
    // error, with the table as it was, when another process has the table
    // open or the pack fails.
    void pack();
    // Adds a tag named after the field to the production index (created if missing).
    void addIndex(const QString& fieldName);
    // Appends every live record of `source`, in its physical order, field by
    // position (converting by value). Durable once at the end; returns the count.
    uint32_t appendFrom(Table& source);
    // Appends whole records (recordLength() bytes each, deletion flag
    // included, back to back) as one durable change; returns the first number.
    uint32_t appendRecords(const QByteArray& records);

  private:
    Table(const QString& path, const QString& canonical, Access access);
    class WriteLock;
    friend class WriteLock;

    void openFiles(Access access);
    void checkOpenState();
    uint32_t repairCount();
    bool openIndex(bool forceRebuild);  // true when it rebuilt the index
    std::vector<TagSpec> tagsFromFlags() const;
    void rebuildIndex(std::vector<TagSpec> tagDefs);
    void bindTags();
    std::vector<std::vector<IndexEntry>> scanKeys(const std::vector<int>& fields,
                                                  const std::vector<KeyType>& types,
                                                  const std::vector<int>& lengths);
    void reloadFromDisk();
    ChangeMarker peekMarker(uint32_t* count = nullptr) const;
    void writeBase();
    void writeWholeHeader();
    void beginChange();
    void endChange();
    void afterFailure() noexcept;
    bool upgradeToSoleUse();
    void dropRecordLocks() noexcept;
    void nextChange();
    bool indexNeedsRebuild(const ChangeMarker& m);
    void holdIndexDirty();
    void releaseIndexDirty() noexcept;
    void syncIndexNow();
    void storeDurably(const std::function<void()>& write, const std::function<void()>& undo);
    uint32_t storeAppended(const QByteArray& bytes);
    void doubtIndexDurably();
    void syncFile();
    void maintainIndex(const std::function<void()>& work);
    void cutAfter(uint32_t count);
    void releaseSoleUse();
    int64_t recordOffset(uint32_t recno) const;
    void forgetCache() { cache_.clear(); }
    void forgetCacheFrom(int64_t offset);

    QString path_;
    QString canonical_;
    QString mdxPath_;
    std::unique_ptr<TableFile> file_;
    DbfLayout layout_;
    std::unique_ptr<MdxIndex> index_;
    std::vector<int> tagFields_;
    bool shared_ = true;
    uint32_t count_ = 0;
    uint32_t changes_ = 0;  // marker value this process's view reflects
    int64_t deletedCount_ = -1;
    uint32_t deletedCountAt_ = 0;
    uint64_t epoch_ = 0;
    const unsigned char* front_ = nullptr;
    std::unordered_map<int64_t, QByteArray> cache_;  // blocks of the .dbf by number
    std::map<uint32_t, int> recordLocks_;            // record -> cursors holding it
    bool dirtyHeld_ = false;                         // this process has index pages not yet synced
    std::chrono::steady_clock::time_point dirtySince_;
    bool indexRebuilt_ = false;
    bool headerUnsynced_ = false;  // written since the last sync of the .dbf
    bool indexWasCurrent_ = true;  // the marker said so when the change began
};

}  // namespace dbase
