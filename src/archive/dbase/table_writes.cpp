// Durable changes: the header's change marker around each change, records
// made durable one sync each, the undo when a write fails, and the index kept
// up after the record is stored (rebuilt from the table when that fails).
#include "archive/dbase/table.h"

#include "archive/dbase/engine_settings.h"
#include "archive/dbase/table_internal.h"

#include <algorithm>
#include <chrono>

namespace dbase {
namespace {

// How long index pages may stay unsynced after a change.
constexpr auto kLazySyncAfter = std::chrono::seconds(2);

bool validFlag(char c) {
    return c == kLiveFlag || c == kDeletedFlag;
}

// One field of a source record into a target field of perhaps another type.
void copyField(const DbfLayout& from, int f, QByteArrayView source, const DbfLayout& to, int g,
               QByteArray& target) {
    if (from.isBlank(f, source)) return to.clear(g, target);
    const char a = from.field(f).type;
    const char b = to.field(g).type;
    const bool numbers = (a == 'N' || a == 'F') && (b == 'N' || b == 'F');
    if (numbers) return to.setNumber(g, target, from.number(f, source));
    if (a == 'D' && b == 'D') return to.setDate(g, target, from.date(f, source));
    if (a == 'L' && b == 'L') return to.setLogical(g, target, from.logical(f, source));
    to.setText(g, target, from.text(f, source));
}

}  // namespace

void Table::writeBase() {
    layout_.recordCount = count_;
    layout_.lastUpdate = today();
    const QByteArray base = layout_.encodeBase();
    file_->writeAt(0, base.constData(), size_t(base.size()));
    headerUnsynced_ = true;
}

void Table::writeWholeHeader() {
    layout_.recordCount = count_;
    layout_.lastUpdate = today();
    const QByteArray header = layout_.encodeHeader();
    file_->writeAt(0, header.constData(), size_t(header.size()));
    headerUnsynced_ = true;
}

void Table::syncFile() {
    file_->syncData();
    headerUnsynced_ = false;
}

void Table::nextChange() {
    layout_.marker.present = true;
    do {
        ++layout_.marker.changes;
    } while (layout_.marker.changes == kInChange || layout_.marker.changes == 0);
    changes_ = layout_.marker.changes;
}

void Table::beginChange() {
    indexWasCurrent_ = layout_.marker.indexed == layout_.marker.changes;
    nextChange();
    layout_.marker.indexed = kInChange;
    writeBase();
}

void Table::endChange() {
    // Index pages not yet synced, by this process or (marker behind before
    // the change) by another one, keep the marker behind: only a sync of the
    // .mdx may bring it back (see doubtIndexDurably()).
    const uint32_t changes = layout_.marker.changes;
    const bool behind = dirtyHeld_ || !indexWasCurrent_;
    layout_.marker.indexed = behind ? (changes == 1 ? 2 : changes - 1) : changes;
    writeBase();
    if (dirtyHeld_ && std::chrono::steady_clock::now() - dirtySince_ >= kLazySyncAfter) {
        try {
            syncIndexNow();
            // The header on disk catches up too: its count lags the durable
            // records by a few seconds of posts at most.
            syncFile();
        } catch (const platform::Error&) {
            // Left unsynced: the marker says so, and the next try may do better.
        }
    }
}

void Table::doubtIndexDurably() {
    // Changes sync only their own bytes, so the header on disk lags the one
    // every process reads. It must never call the index current while the
    // .mdx on disk may lack a change whose record is durable: the first
    // change of the index after it was synced (marker current) writes "index
    // not to be trusted" and syncs it before touching anything. From then on
    // the header only goes back to "current" after the .mdx is synced
    // (syncIndexNow, rebuildIndex), so later changes need not sync it: after
    // a system crash it still says "rebuild". Appends need this as well,
    // although a record beyond the count on disk would show them: the header
    // page may be written out by the system at any time after the count
    // covers the record.
    if (!index_ || layout_.marker.indexed != layout_.marker.changes) return;
    beginChange();
    syncFile();
}

void Table::syncIndexNow() {
    // Under the write lock: every process flushed its pages before it let
    // the lock go, so this sync covers them all.
    if (!dirtyHeld_) return;
    if (index_) index_->sync();
    if (layout_.marker.indexed != kInChange) {
        layout_.marker.indexed = layout_.marker.changes;
        writeBase();
    }
    releaseIndexDirty();
}

void Table::storeDurably(const std::function<void()>& write, const std::function<void()>& undo) {
    try {
        // Header first, in the system's cache: readers see "change under way"
        // and retry, and a writer killed halfway leaves that mark for the
        // next one. `write` makes its own bytes durable, not the header's
        // (see doubtIndexDurably()).
        beginChange();
        write();
    } catch (...) {
        // Nothing reached the index yet: putting the bytes back is the whole undo.
        try {
            undo();
            endChange();
            syncFile();
        } catch (...) {
            afterFailure();
        }
        throw;
    }
}

void Table::maintainIndex(const std::function<void()>& work) {
    indexRebuilt_ = false;
    if (index_) {
        std::vector<TagSpec> tagDefs;
        for (int t = 0; t < index_->tagCount(); ++t) tagDefs.push_back(index_->tag(t));
        try {
            holdIndexDirty();
            work();
            index_->flush();
        } catch (...) {
            // The record is on disk already: the post has happened. Rebuild the
            // index from the table, which holds it, so the post stands whole.
            QString why;
            try {
                throw;
            } catch (const platform::Error& e) {
                why = e.message();
            } catch (const std::exception& e) {
                why = QString::fromLocal8Bit(e.what());
            } catch (...) {
            }
            try {
                rebuildIndex(std::move(tagDefs));
                indexRebuilt_ = true;
            } catch (const platform::Error& e) {
                throw RecordStoredError(
                    QStringLiteral("The record was stored in %1, but its index %2 could not be "
                                   "updated (%3) nor rebuilt (%4); it will be rebuilt when the "
                                   "table is next opened")
                        .arg(native(path_), native(mdxPath_), why, e.message()));
            }
            return;
        }
    }
    endChange();
}

uint32_t Table::append(const QByteArray& record) {
    if (record.size() != layout_.recordLength())
        throw EngineError(QStringLiteral("Wrong record length for %1").arg(native(path_)));
    WriteLock lock(*this);
    QByteArray bytes = record;
    bytes[0] = kLiveFlag;
    layout_.normalizeNumbers(bytes);
    bytes.append(kEndOfFile);
    const uint32_t recno = storeAppended(bytes);
    maintainIndex([&] {
        for (int t = 0; t < index_->tagCount(); ++t) index_->insert(t, key(t, bytes), recno);
    });
    return recno;
}

uint32_t Table::storeAppended(const QByteArray& bytes) {
    // The records go first, beyond what the header counts: nobody reads them
    // there, so they need no "change under way" yet, and the header never
    // counts a record that is not whole and durable (what another tool reads).
    // A writer killed before the header counts them leaves bytes beyond the
    // count, which the next writer's lock or the next open notices (see
    // WriteLock). The sync carries the tail block alone (writeDurably()).
    doubtIndexDurably();
    const uint32_t first = count_ + 1;
    const uint32_t n = uint32_t((bytes.size() - 1) / layout_.recordLength());
    try {
        file_->writeDurably(recordOffset(first), bytes.constData(), size_t(bytes.size()));
        forgetCacheFrom(recordOffset(first));
        if (n > 1) forgetCache();
        count_ += n;
        beginChange();  // counts them: readers see the change from here on
    } catch (...) {
        // Nothing reached the index: cutting the records off is the whole
        // undo, and the marker returns from "under way" if it went there.
        try {
            cutAfter(first - 1);
            if (layout_.marker.indexed == kInChange) endChange();
            syncFile();
        } catch (...) {
            afterFailure();
        }
        throw;
    }
    return first;
}

void Table::cutAfter(uint32_t count) {
    count_ = count;
    const int64_t end = recordOffset(count + 1);
    forgetCache();
    file_->resize(end);
    file_->writeAt(end, &kEndOfFile, 1);
}

void Table::update(uint32_t recno, const QByteArray& record) {
    if (record.size() != layout_.recordLength())
        throw EngineError(QStringLiteral("Wrong record length for %1").arg(native(path_)));
    WriteLock lock(*this);
    QByteArray old;
    if (!read(recno, old) || old[0] != kLiveFlag)
        throw EngineError(
            QStringLiteral("The record was deleted by another user: %1").arg(native(path_)));
    QByteArray bytes = record;
    bytes[0] = kLiveFlag;
    layout_.normalizeNumbers(bytes);
    auto put = [&](const QByteArray& what) {
        file_->writeDurably(recordOffset(recno), what.constData(), size_t(what.size()));
        forgetCacheFrom(recordOffset(recno));
    };
    doubtIndexDurably();
    storeDurably([&] { put(bytes); }, [&] { put(old); });
    maintainIndex([&] {
        for (int t = 0; t < tagCount(); ++t) {
            const QByteArray before = key(t, old);
            const QByteArray after = key(t, bytes);
            if (before == after) continue;
            index_->remove(t, before, recno);
            index_->insert(t, after, recno);
        }
    });
}

void Table::markDeleted(uint32_t recno) {
    WriteLock lock(*this);
    QByteArray old;
    if (!read(recno, old) || old[0] == kDeletedFlag) return;
    auto flag = [&](const char* value) {
        file_->writeDurably(recordOffset(recno), value, 1);
        forgetCacheFrom(recordOffset(recno));
    };
    // Deleted records keep their index entries, as dBASE does: the index
    // stays right whichever flag the disk holds, so no doubtIndexDurably().
    storeDurably([&] { flag(&kDeletedFlag); }, [&] { flag(&kLiveFlag); });
    indexRebuilt_ = false;
    endChange();
    if (deletedCount_ >= 0) ++deletedCount_;
}

uint32_t Table::markDeletedMany(const std::vector<uint32_t>& recnos) {
    WriteLock lock(*this);
    std::vector<uint32_t> wanted = recnos;  // in file order, each once
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    std::vector<uint32_t> live;
    QByteArray old;
    for (uint32_t recno : wanted) {
        if (read(recno, old) && old[0] != kDeletedFlag) live.push_back(recno);
    }
    if (live.empty()) return 0;
    auto flags = [&](const char* value) {
        // One byte per record: a flag is either written or not. One sync
        // for all of them.
        for (uint32_t recno : live) file_->writeAt(recordOffset(recno), value, 1);
        forgetCache();
        syncFile();
    };
    storeDurably([&] { flags(&kDeletedFlag); }, [&] { flags(&kLiveFlag); });
    indexRebuilt_ = false;
    endChange();
    if (deletedCount_ >= 0) deletedCount_ += int64_t(live.size());
    return uint32_t(live.size());
}

uint32_t Table::appendFrom(Table& source) {
    if (&source == this)
        throw EngineError(QStringLiteral("Cannot append %1 to itself").arg(native(path_)));
    source.catchUp();
    const DbfLayout& from = source.layout();
    const int shared = qMin(from.fieldCount(), layout_.fieldCount());
    // Convert everything first: a value that does not fit stops the batch
    // before anything is written.
    QByteArray records;
    uint32_t n = 0;
    QByteArray in;
    for (uint32_t r = 1; r <= source.recordCount(); ++r) {
        if (!source.read(r, in) || in[0] != kLiveFlag) continue;
        QByteArray out = layout_.blankRecord();
        for (int f = 0; f < shared; ++f) copyField(from, f, in, layout_, f, out);
        records.append(out);
        ++n;
    }
    appendRecords(records);
    return n;
}

uint32_t Table::appendRecords(const QByteArray& records) {
    const int recordLength = layout_.recordLength();
    if (records.size() % recordLength != 0)
        throw EngineError(QStringLiteral("Wrong record length for %1").arg(native(path_)));
    const uint32_t n = uint32_t(records.size() / recordLength);
    if (n == 0) return 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (!validFlag(records[qsizetype(i) * recordLength]))
            throw EngineError(
                QStringLiteral("Wrong deletion flag in a record for %1").arg(native(path_)));
    }
    QByteArray bytes = records;
    bytes.append(kEndOfFile);
    WriteLock lock(*this);
    const uint32_t firstNew = storeAppended(bytes);
    maintainIndex([&] {
        for (uint32_t i = 0; i < n; ++i) {
            const QByteArrayView r(bytes.constData() + qsizetype(i) * recordLength, recordLength);
            for (int t = 0; t < index_->tagCount(); ++t) index_->insert(t, key(t, r), firstNew + i);
        }
    });
    return firstNew;
}

}  // namespace dbase
