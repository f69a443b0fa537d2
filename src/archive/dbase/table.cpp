#include "archive/dbase/table.h"

#include "archive/dbase/engine_settings.h"
#include "archive/dbase/table_file.h"
#include "platform/byte_order.h"
#include "platform/cp1252.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstring>
#include <limits>
#include <map>

namespace dbase {
namespace {

constexpr int64_t kOpenLock = kOpenLockOffset;
constexpr int64_t kWriteLock = kWriteLockOffset;
constexpr int64_t kIndexDirtyLock = kIndexDirtyLockOffset;

// `indexed` while a change is under way: whoever finds it under the write lock
// knows a writer died halfway, whatever else holds the index.
constexpr uint32_t kInChange = 0xFFFFFFFF;
// How long index pages may stay unsynced after a change.
constexpr auto kLazySyncAfter = std::chrono::seconds(2);

constexpr int64_t kBlockSize = 32768;
constexpr size_t kMaxCachedBlocks = 128;  // 4 MiB of records
constexpr int kScanChunk = 1 << 20;       // bytes per read when scanning the whole file

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void inUse(const QString& path) {
    throw EngineError(QStringLiteral("The table %1 is in use").arg(native(path)));
}

[[noreturn]] void lockedByAnother(const QString& path) {
    throw EngineError(
        QStringLiteral("The table %1 is locked by another program").arg(native(path)));
}

struct RegistryEntry {
    std::weak_ptr<Table> table;
    bool sole = false;  // opened for exclusive use
};
std::map<QString, RegistryEntry>& registry() {
    static std::map<QString, RegistryEntry> tables;
    return tables;
}

ChangeMarker markerOf(const unsigned char* base) {
    ChangeMarker m;
    m.present = std::memcmp(base + 16, "TSM1", 4) == 0;
    if (m.present) {
        m.changes = platform::readLe32(base + 20);
        m.indexed = platform::readLe32(base + 24);
    }
    return m;
}

bool validFlag(char c) {
    return c == kLiveFlag || c == kDeletedFlag;
}

QString canonicalOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw EngineError(
            QStringLiteral("Table not found: %1").arg(native(info.absoluteFilePath())));
    return info.canonicalFilePath();
}

}  // namespace

// Holds the write lock for one change and brings the view up to date first.
class Table::WriteLock {
  public:
    explicit WriteLock(Table& table, bool catchUp = true) : t_(table) {
        if (!t_.writable())
            throw EngineError(QStringLiteral("The table %1 is read-only").arg(native(t_.path_)));
        if (t_.shared_) {
            if (!t_.file_->lock(kWriteLock, 1, true, lockTimeoutMs())) lockedByAnother(t_.path_);
            locked_ = true;
        }
        if (!catchUp) return;
        try {
            uint32_t count = 0;
            const ChangeMarker m = t_.peekMarker(&count);
            if (m.present != t_.layout_.marker.present || m.changes != t_.changes_ ||
                count != t_.count_)
                t_.reloadFromDisk();
            if ((m.present && m.changes != m.indexed && t_.indexNeedsRebuild(m)) ||
                t_.file_->size() != t_.recordOffset(t_.count_ + 1) + 1) {
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
    ~WriteLock() { release(); }
    void release() noexcept {
        if (!locked_) return;
        locked_ = false;
        try {
            t_.file_->unlock(kWriteLock, 1);
        } catch (...) {
        }
    }

  private:
    Table& t_;
    bool locked_ = false;
};

QString Table::productionIndexPath(const QString& tablePath) {
    const QFileInfo info(tablePath);
    const QString suffix = info.suffix();
    const bool upper = !suffix.isEmpty() && suffix == suffix.toUpper();
    const QString stem = info.path() + QLatin1Char('/') + info.completeBaseName();
    const QString preferred = stem + (upper ? QStringLiteral(".MDX") : QStringLiteral(".mdx"));
    const QString other = stem + (upper ? QStringLiteral(".mdx") : QStringLiteral(".MDX"));
    if (!QFileInfo::exists(preferred) && QFileInfo::exists(other)) return other;
    return preferred;
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

Table::Table(const QString& path, const QString& canonical, Access access)
    : path_(path), canonical_(canonical), mdxPath_(productionIndexPath(path)) {
    openFiles(access);
}

Table::~Table() {
    if ((dirtyHeld_ || headerUnsynced_) && writable()) {
        try {
            WriteLock lock(*this);
            syncIndexNow();
            syncFile();
        } catch (...) {
            // The marker still says "index unsynced": the next open rebuilds it.
        }
    }
    auto& tables = registry();
    if (auto it = tables.find(canonical_); it != tables.end() && it->second.table.expired())
        tables.erase(it);
}

bool Table::writable() const {
    return file_ && file_->writable();
}

void Table::openFiles(Access access) {
    shared_ = access == Access::Shared && localShare();
    for (int attempt = 0;; ++attempt) {
        try {
            file_ = std::make_unique<TableFile>(path_, TableFile::Access::ReadWrite);
        } catch (const EngineError&) {
            file_ = std::make_unique<TableFile>(path_, TableFile::Access::ReadOnly);
        }
        // A read-only handle can only take shared locks.
        if (!file_->tryLock(kOpenLock, 1, !shared_ && file_->writable())) inUse(path_);
        // A pack by another process may have renamed a new file over this one
        // between our open and our lock: then open the new one.
        if (file_->isAt(path_) || attempt == 3) break;
    }

    QByteArray base(kBaseHeaderSize, '\0');
    base.resize(qsizetype(file_->readAt(0, base.data(), size_t(base.size()))));
    DbfLayout::statedHeaderLength(base, path_);  // "not a dBASE table" before anything else

    if (file_->writable()) {
        WriteLock lock(*this, false);
        reloadFromDisk();
        const ChangeMarker m = layout_.marker;
        if (m.present && m.changes != m.indexed && !indexNeedsRebuild(m))
            layout_.marker.indexed = m.changes;  // current in the live writer's pages
        checkOpenState();
    } else {
        if (shared_ && !file_->lock(kWriteLock, 1, false, lockTimeoutMs())) lockedByAnother(path_);
        try {
            reloadFromDisk();
            openIndex(false);
        } catch (...) {
            if (shared_) file_->unlock(kWriteLock, 1);
            throw;
        }
        if (shared_) file_->unlock(kWriteLock, 1);
    }
    front_ = file_->mapFront(kBaseHeaderSize);
}

// Reads the header again and makes count, index and cache follow it.
void Table::reloadFromDisk() {
    QByteArray base(kBaseHeaderSize, '\0');
    base.resize(qsizetype(file_->readAt(0, base.data(), size_t(base.size()))));
    const int headerLength = DbfLayout::statedHeaderLength(base, path_);
    QByteArray header(headerLength, '\0');
    header.resize(qsizetype(file_->readAt(0, header.data(), size_t(header.size()))));
    DbfLayout fresh = DbfLayout::parse(header, path_);
    const bool hadIndex = layout_.productionIndex;
    const int tagsBefore = tagCount();
    layout_ = std::move(fresh);
    const int64_t size = file_->size();
    if (size < layout_.headerLength())
        throw EngineError(
            QStringLiteral("The table %1 is damaged: the file is shorter than its header")
                .arg(native(path_)));
    const int64_t complete = (size - layout_.headerLength()) / layout_.recordLength();
    count_ = uint32_t(qMin<int64_t>(layout_.recordCount, complete));
    changes_ = layout_.marker.changes;
    deletedCount_ = -1;
    forgetCache();
    if (index_) {
        // A rebuild elsewhere renames a new file into place: open the file
        // the name holds now, not the one this handle has.
        index_ = MdxIndex::open(mdxPath_, writable());
        if (tagCount() != tagsBefore || tagFields_.size() != size_t(tagCount())) bindTags();
    } else if (front_ && layout_.productionIndex && !hadIndex) {
        openIndex(false);  // another process added the index
    }
}

// Under the write lock at open (or after a crashed writer): repair the tail,
// then open the index, rebuilding it when it cannot be trusted.
void Table::checkOpenState() {
    const uint32_t stated = layout_.recordCount;
    const uint32_t count = repairCount();
    const bool repaired = count != stated;
    count_ = count;
    layout_.recordCount = count;
    const bool firstSight = !layout_.marker.present;
    const bool stale = !firstSight && layout_.marker.changes != layout_.marker.indexed;
    if (repaired || firstSight) {
        layout_.marker.present = true;
        writeBase();
        syncFile();
    }
    changes_ = layout_.marker.changes;
    const bool rebuilt = openIndex(repaired || stale);
    if (firstSight && !rebuilt && index_) {
        // A table this engine has not written before (another tool, or an
        // installation moving over) has no marker to tell whether its index
        // kept up. Check it once, whole: every record, deleted or not, has
        // one entry per tag. From now on the marker answers that question.
        bool complete = true;
        try {
            for (uint64_t entries : index_->verify()) complete = complete && entries == count_;
        } catch (const EngineError&) {
            complete = false;
        }
        if (!complete) {
            std::vector<TagSpec> tagDefs;
            for (int t = 0; t < index_->tagCount(); ++t) tagDefs.push_back(index_->tag(t));
            rebuildIndex(std::move(tagDefs));
        }
    }
}

uint32_t Table::repairCount() {
    const int64_t size = file_->size();
    const int64_t headerLength = layout_.headerLength();
    const int64_t recordLength = layout_.recordLength();
    if (size < headerLength)
        throw EngineError(
            QStringLiteral("The table %1 is damaged: the file is shorter than its header")
                .arg(native(path_)));
    // What the size shows is the truth: a post writes its record before the
    // header that counts it, so complete records beyond the stated count are
    // posts whose header did not land, and a count beyond the file is a
    // header that landed before its record.
    const int64_t complete =
        qMin<int64_t>((size - headerLength) / recordLength, std::numeric_limits<uint32_t>::max());
    const int64_t end = headerLength + complete * recordLength;
    char tail = 0;
    const bool tailOk = size == end + 1 && file_->readAt(end, &tail, 1) == 1 && tail == kEndOfFile;
    if (!tailOk && file_->writable()) {
        // Cuts only the part of a record that never was written whole.
        file_->resize(end);
        file_->writeAt(end, &kEndOfFile, 1);
        syncFile();
    }
    return uint32_t(complete);
}

std::vector<TagSpec> Table::tagsFromFlags() const {
    std::vector<TagSpec> tagDefs;
    for (const Field& f : layout_.fields()) {
        if (!f.tagged) continue;
        if (f.type == 'C')
            tagDefs.push_back(TagSpec{f.name.toUpper(), f.name, KeyType::Character, f.length});
        else if (f.type == 'D')
            tagDefs.push_back(TagSpec{f.name.toUpper(), f.name, KeyType::Date, 8});
        // Tags on other types are not kept by this engine; a rebuild drops them.
    }
    return tagDefs;
}

void Table::bindTags() {
    tagFields_.clear();
    for (int t = 0; t < index_->tagCount(); ++t) {
        const TagSpec& def = index_->tag(t);
        const int f = layout_.fieldIndex(def.field);
        const bool fits =
            f >= 0 && ((def.type == KeyType::Character && layout_.field(f).type == 'C' &&
                        def.keyLength == layout_.field(f).length) ||
                       (def.type == KeyType::Date && layout_.field(f).type == 'D'));
        if (!fits)
            throw EngineError(QStringLiteral("The index %1 does not match its table (tag %2)")
                                  .arg(native(mdxPath_), def.name));
        tagFields_.push_back(f);
    }
}

bool Table::openIndex(bool forceRebuild) {
    index_.reset();
    tagFields_.clear();
    if (!layout_.productionIndex) return false;
    std::vector<TagSpec> tagDefs;
    bool rebuild = forceRebuild;
    if (QFileInfo::exists(mdxPath_)) {
        try {
            index_ = MdxIndex::open(mdxPath_, writable());
            bindTags();
            for (int t = 0; t < index_->tagCount(); ++t) tagDefs.push_back(index_->tag(t));
        } catch (const EngineError&) {
            index_.reset();
            tagFields_.clear();
            tagDefs = tagsFromFlags();
            rebuild = true;
        }
    } else {
        tagDefs = tagsFromFlags();
        rebuild = true;
    }
    if (!rebuild) return false;
    if (!writable())
        throw EngineError(QStringLiteral("The index %1 is missing or out of date, and the table "
                                         "is read-only so it cannot be rebuilt")
                              .arg(native(mdxPath_)));
    rebuildIndex(std::move(tagDefs));
    return true;
}

std::vector<std::vector<IndexEntry>> Table::scanKeys(const std::vector<int>& fields,
                                                     const std::vector<KeyType>& types,
                                                     const std::vector<int>& lengths) {
    std::vector<std::vector<IndexEntry>> entries(fields.size());
    for (auto& e : entries) e.reserve(count_);
    const int recordLength = layout_.recordLength();
    const uint32_t perChunk = uint32_t(qMax(1, kScanChunk / recordLength));
    QByteArray chunk;
    for (uint32_t first = 1; first <= count_; first += perChunk) {
        const uint32_t n = qMin(perChunk, count_ - first + 1);
        chunk.resize(qsizetype(n) * recordLength);
        const size_t got = file_->readAt(recordOffset(first), chunk.data(), size_t(chunk.size()));
        const uint32_t whole = uint32_t(got / size_t(recordLength));
        for (uint32_t i = 0; i < whole; ++i) {
            const QByteArrayView record(chunk.constData() + qsizetype(i) * recordLength,
                                        recordLength);
            for (size_t t = 0; t < fields.size(); ++t) {
                QByteArray key =
                    types[t] == KeyType::Character
                        ? MdxIndex::characterKey(layout_.bytes(fields[t], record), lengths[t])
                        : MdxIndex::dateKey(layout_.date(fields[t], record));
                entries[t].push_back(IndexEntry{std::move(key), first + i});
            }
        }
        if (whole < n) break;
    }
    return entries;
}

void Table::rebuildIndex(std::vector<TagSpec> tagDefs) {
    index_.reset();
    tagFields_.clear();
    // Durably say "index not to be trusted" before the old file is touched,
    // and build the new one beside it: a kill at any moment leaves either
    // the old file with that mark, or the complete new one.
    nextChange();
    layout_.marker.indexed = kInChange;
    writeBase();
    syncFile();
    for (int f = 0; f < layout_.fieldCount(); ++f) layout_.setTagged(f, false);
    std::vector<int> fields;
    std::vector<KeyType> types;
    std::vector<int> lengths;
    std::vector<TagSpec> usable;
    for (const TagSpec& def : tagDefs) {
        const int f = layout_.fieldIndex(def.field);
        if (f < 0) continue;
        const char type = layout_.field(f).type;
        if (type != 'C' && type != 'D') continue;
        TagSpec s = def;
        s.type = type == 'C' ? KeyType::Character : KeyType::Date;
        s.keyLength = type == 'C' ? layout_.field(f).length : 8;
        usable.push_back(s);
        fields.push_back(f);
        types.push_back(s.type);
        lengths.push_back(s.keyLength);
        layout_.setTagged(f, true);
    }
    if (!usable.empty()) {
        auto entries = scanKeys(fields, types, lengths);
        const QString temp = mdxPath_ + QStringLiteral(".new");
        try {
            auto index = MdxIndex::create(temp, usable);
            for (size_t t = 0; t < entries.size(); ++t)
                index->rebuild(int(t), std::move(entries[t]));
            index->sync();
            index.reset();
            TableFile::replace(temp, mdxPath_);
        } catch (...) {
            platform::removeFile(temp);
            throw;
        }
        index_ = MdxIndex::open(mdxPath_, writable());
        bindTags();
    }
    layout_.productionIndex = !usable.empty();
    layout_.marker.present = true;
    layout_.marker.indexed = layout_.marker.changes;
    changes_ = layout_.marker.changes;
    writeWholeHeader();
    syncFile();
    releaseIndexDirty();  // whatever was unsynced is in the new, synced file
    indexWasCurrent_ = true;
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
    if (!file_->lock(kWriteLock, 1, false, lockTimeoutMs())) lockedByAnother(path_);
    try {
        reloadFromDisk();
    } catch (...) {
        file_->unlock(kWriteLock, 1);
        throw;
    }
    file_->unlock(kWriteLock, 1);
}

bool Table::unchangedSinceCatchUp() const {
    if (!shared_) return true;
    uint32_t count = 0;
    const ChangeMarker m = peekMarker(&count);
    if (!m.present) return count == count_;
    return m.changes == changes_;
}

int64_t Table::recordOffset(uint32_t recno) const {
    return layout_.headerLength() + int64_t(recno - 1) * layout_.recordLength();
}

void Table::forgetCacheFrom(int64_t offset) {
    cache_.erase(offset / kBlockSize);
    cache_.erase((offset + layout_.recordLength()) / kBlockSize);
}

bool Table::read(uint32_t recno, QByteArray& out) {
    if (recno == 0 || recno > count_) return false;
    const int recordLength = layout_.recordLength();
    const int64_t offset = recordOffset(recno);
    const int64_t block = offset / kBlockSize;
    out.resize(recordLength);
    if ((offset + recordLength - 1) / kBlockSize != block) {
        return file_->readAt(offset, out.data(), size_t(recordLength)) == size_t(recordLength);
    }
    const int64_t inBlock = offset - block * kBlockSize;
    auto it = cache_.find(block);
    if (it == cache_.end() || it->second.size() < inBlock + recordLength) {
        if (it != cache_.end()) cache_.erase(it);
        if (cache_.size() >= kMaxCachedBlocks) cache_.clear();
        QByteArray bytes(kBlockSize, Qt::Uninitialized);
        bytes.resize(
            qsizetype(file_->readAt(block * kBlockSize, bytes.data(), size_t(kBlockSize))));
        it = cache_.emplace(block, std::move(bytes)).first;
        if (it->second.size() < inBlock + recordLength) return false;
    }
    std::memcpy(out.data(), it->second.constData() + inBlock, size_t(recordLength));
    return true;
}

uint32_t Table::liveCount() {
    if (deletedCount_ < 0) {
        int64_t deleted = 0;
        const int recordLength = layout_.recordLength();
        const uint32_t perChunk = uint32_t(qMax(1, kScanChunk / recordLength));
        QByteArray chunk;
        for (uint32_t first = 1; first <= count_; first += perChunk) {
            const uint32_t n = qMin(perChunk, count_ - first + 1);
            chunk.resize(qsizetype(n) * recordLength);
            const size_t got =
                file_->readAt(recordOffset(first), chunk.data(), size_t(chunk.size()));
            for (size_t i = 0; i + size_t(recordLength) <= got; i += size_t(recordLength)) {
                if (chunk[qsizetype(i)] == kDeletedFlag) ++deleted;
            }
        }
        deletedCount_ = deleted;
    }
    return count_ - uint32_t(deletedCount_);
}

QByteArray Table::key(int tag, QByteArrayView record) const {
    const TagSpec& def = index_->tag(tag);
    const int f = tagFields_[size_t(tag)];
    if (def.type == KeyType::Character)
        return MdxIndex::characterKey(layout_.bytes(f, record), def.keyLength);
    return MdxIndex::dateKey(layout_.date(f, record));
}

bool Table::keyMatches(int tag, QByteArrayView record, QByteArrayView key) const {
    // The same bytes key() builds, compared without building them: this runs
    // for every record a scan in index order meets.
    const TagSpec& def = index_->tag(tag);
    const int f = tagFields_[size_t(tag)];
    if (def.type == KeyType::Character) {
        const QByteArrayView bytes = layout_.bytes(f, record);  // widths match
        if (bytes == key) return true;
        return bytes.contains('\0') && MdxIndex::characterKey(bytes, def.keyLength) == key;
    }
    const uint64_t bits = std::bit_cast<uint64_t>(MdxIndex::julianDay(layout_.date(f, record)));
    char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = char((bits >> (8 * i)) & 0xFF);
    return key == QByteArrayView(bytes, 8);
}

std::optional<QByteArray> Table::searchKey(int tag, QStringView value) const {
    const TagSpec& def = index_->tag(tag);
    if (def.type == KeyType::Date) {
        const QString t = value.trimmed().toString();
        if (t.isEmpty()) return MdxIndex::dateKey(QDate());
        QDate d = QDate::fromString(t, QStringLiteral("yyyyMMdd"));
        if (!d.isValid()) d = QDate::fromString(t, Qt::ISODate);
        if (!d.isValid()) return std::nullopt;
        return MdxIndex::dateKey(d);
    }
    if (!platform::cp1252::canEncode(value)) return std::nullopt;
    QByteArray bytes = platform::cp1252::encode(value);
    while (bytes.size() > def.keyLength && bytes.endsWith(' ')) bytes.chop(1);
    if (bytes.size() > def.keyLength) return std::nullopt;
    return MdxIndex::characterKey(bytes, def.keyLength);
}

QByteArray Table::searchKey(int tag, const QDate& value) const {
    if (index_->tag(tag).type != KeyType::Date)
        throw EngineError(QStringLiteral("The index %1 of %2 is not on a date field")
                              .arg(index_->tag(tag).name, native(path_)));
    return MdxIndex::dateKey(value);
}

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

bool Table::indexNeedsRebuild(const ChangeMarker& m) {
    if (m.indexed == kInChange) return true;  // a writer died halfway
    if (dirtyHeld_ || !writable()) return false;
    // Unsynced pages of a live writer are in the system's cache, which every
    // process reads; only a crash of the whole system loses them, and then
    // nobody holds this byte.
    if (!file_->tryLock(kIndexDirtyLock, 1, true)) return false;
    file_->unlock(kIndexDirtyLock, 1);
    return true;
}

void Table::holdIndexDirty() {
    if (dirtyHeld_) return;
    if (!file_->lock(kIndexDirtyLock, 1, false, lockTimeoutMs())) lockedByAnother(path_);
    dirtyHeld_ = true;
    dirtySince_ = std::chrono::steady_clock::now();
}

void Table::releaseIndexDirty() noexcept {
    if (!dirtyHeld_) return;
    dirtyHeld_ = false;
    try {
        file_->unlock(kIndexDirtyLock, 1);
    } catch (...) {
    }
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

void Table::afterFailure() noexcept {
    // Leave the files consistent if we still can; the marker already says
    // "index not to be trusted", so the next open repairs what this cannot.
    try {
        reloadFromDisk();
        checkOpenState();
    } catch (...) {
    }
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
    return file_->tryLock(kOpenLock, 1, true);
}

void Table::releaseSoleUse() {
    if (shared_) file_->tryLock(kOpenLock, 1, false);
}

void Table::empty() {
    WriteLock lock(*this);
    if (!upgradeToSoleUse()) inUse(path_);
    try {
        std::vector<TagSpec> tagDefs;
        for (int t = 0; t < tagCount(); ++t) tagDefs.push_back(index_->tag(t));
        count_ = 0;
        beginChange();
        const int64_t end = layout_.headerLength();
        file_->resize(end);
        file_->writeAt(end, &kEndOfFile, 1);
        forgetCache();
        syncFile();
        deletedCount_ = 0;
        ++epoch_;
        dropRecordLocks();
        if (!tagDefs.empty()) rebuildIndex(std::move(tagDefs));
        endChange();
    } catch (...) {
        releaseSoleUse();
        afterFailure();
        throw;
    }
    releaseSoleUse();
}

void Table::pack() {
    const QString temp = path_ + QStringLiteral(".pack");
    {
        WriteLock lock(*this);
        if (!upgradeToSoleUse())
            throw EngineError(QStringLiteral("The table %1 is in use").arg(native(path_)));
        try {
            std::vector<TagSpec> tagDefs;
            for (int t = 0; t < tagCount(); ++t) tagDefs.push_back(index_->tag(t));
            auto out =
                std::make_unique<TableFile>(temp, TableFile::Access::ReadWrite, TableFile::Create::Yes);
            out->tryLock(kOpenLock, 1, true);

            DbfLayout packed = layout_;
            packed.marker.present = true;
            packed.marker.changes = layout_.marker.changes + 1;
            packed.marker.indexed = layout_.marker.changes;  // index to be regenerated
            const int recordLength = layout_.recordLength();
            const uint32_t perChunk = uint32_t(qMax(1, kScanChunk / recordLength));
            int64_t written = packed.headerLength();
            uint32_t kept = 0;
            QByteArray chunk;
            QByteArray outBytes;
            for (uint32_t first = 1; first <= count_; first += perChunk) {
                const uint32_t n = qMin(perChunk, count_ - first + 1);
                chunk.resize(qsizetype(n) * recordLength);
                const size_t got =
                    file_->readAt(recordOffset(first), chunk.data(), size_t(chunk.size()));
                if (got != size_t(chunk.size()))
                    throw EngineError(QStringLiteral("The table %1 is damaged: it ends early")
                                          .arg(native(path_)));
                outBytes.clear();
                for (uint32_t i = 0; i < n; ++i) {
                    const char* r = chunk.constData() + qsizetype(i) * recordLength;
                    if (r[0] == kDeletedFlag) continue;
                    outBytes.append(r, recordLength);
                    ++kept;
                }
                out->writeAt(written, outBytes.constData(), size_t(outBytes.size()));
                written += outBytes.size();
            }
            out->writeAt(written, &kEndOfFile, 1);
            packed.recordCount = kept;
            packed.lastUpdate = today();
            const QByteArray header = packed.encodeHeader();
            out->writeAt(0, header.constData(), size_t(header.size()));
            out->syncData();
            TableFile::replace(temp, path_);
            // The old handle goes, and with it the locks on the old file.
            front_ = nullptr;
            file_ = std::move(out);
            dirtyHeld_ = false;  // went with the old file
            layout_ = std::move(packed);
            count_ = kept;
            changes_ = layout_.marker.changes;
            deletedCount_ = 0;
            ++epoch_;
            dropRecordLocks();
            forgetCache();
            front_ = file_->mapFront(kBaseHeaderSize);
            if (!tagDefs.empty()) {
                rebuildIndex(std::move(tagDefs));
            } else {
                endChange();
                syncFile();
            }
        } catch (...) {
            platform::removeFile(temp);
            releaseSoleUse();
            throw;
        }
        releaseSoleUse();
    }
}

void Table::addIndex(const QString& fieldName) {
    const int f = layout_.fieldIndex(fieldName);
    if (f < 0)
        throw EngineError(
            QStringLiteral("Field '%1' not found in %2").arg(fieldName, native(path_)));
    const Field field = layout_.field(f);
    if (field.type != 'C' && field.type != 'D')
        throw EngineError(QStringLiteral("Cannot index field %1 of %2: only character and date "
                                         "fields can carry an index")
                              .arg(field.name, native(path_)));
    const QString name = field.name.toUpper();
    WriteLock lock(*this);
    if (findTag(name) >= 0)
        throw EngineError(
            QStringLiteral("The index %1 already exists in %2").arg(name, native(mdxPath_)));
    const TagSpec def{name, field.name, field.type == 'C' ? KeyType::Character : KeyType::Date,
                      field.type == 'C' ? field.length : 8};
    try {
        auto entries = scanKeys({f}, {def.type}, {def.keyLength});
        beginChange();
        syncFile();
        if (!index_) {
            index_ = MdxIndex::create(mdxPath_, {def});
            index_->rebuild(0, std::move(entries[0]));
        } else {
            index_->addTag(def, std::move(entries[0]));
        }
        index_->sync();
        bindTags();
        layout_.setTagged(f, true);
        layout_.productionIndex = true;
        layout_.marker.indexed = layout_.marker.changes;
        writeWholeHeader();
        syncFile();
    } catch (...) {
        afterFailure();
        throw;
    }
}

namespace {

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

void Table::create(const QString& path, const std::vector<Field>& fields,
                   const std::vector<QString>& tagFields, uint8_t languageDriver, bool replace) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (QFileInfo::exists(absolute)) {
        if (!replace)
            throw EngineError(QStringLiteral("The table %1 already exists").arg(native(absolute)));
        const QString canonical = QFileInfo(absolute).canonicalFilePath();
        if (auto it = registry().find(canonical);
            it != registry().end() && !it->second.table.expired())
            inUse(absolute);
        TableFile existing(absolute, TableFile::Access::ReadWrite);
        if (!existing.tryLock(kOpenLock, 1, true)) inUse(absolute);
    }
    DbfLayout layout(absolute, fields, languageDriver);
    std::vector<TagSpec> tagDefs;
    for (const QString& name : tagFields) {
        const int f = layout.fieldIndex(name);
        if (f < 0)
            throw EngineError(
                QStringLiteral("Field '%1' not found in %2").arg(name, native(absolute)));
        const Field& field = layout.field(f);
        if (field.type != 'C' && field.type != 'D')
            throw EngineError(QStringLiteral("Cannot index field %1 of %2: only character and "
                                             "date fields can carry an index")
                                  .arg(field.name, native(absolute)));
        tagDefs.push_back(TagSpec{field.name, field.name,
                                  field.type == 'C' ? KeyType::Character : KeyType::Date,
                                  field.type == 'C' ? field.length : 8});
        layout.setTagged(f, true);
    }
    layout.productionIndex = !tagDefs.empty();
    layout.marker.present = true;
    layout.marker.changes = 1;
    layout.marker.indexed = tagDefs.empty() ? 1 : 0;  // until the index exists
    layout.recordCount = 0;

    const QString temp = absolute + QStringLiteral(".new");
    {
        TableFile out(temp, TableFile::Access::ReadWrite, TableFile::Create::Yes);
        QByteArray bytes = layout.encodeHeader();
        bytes.append(kEndOfFile);
        out.writeAt(0, bytes.constData(), size_t(bytes.size()));
        out.syncData();
    }
    TableFile::replace(temp, absolute);
    const QString mdx = productionIndexPath(absolute);
    if (tagDefs.empty()) {
        if (replace) platform::removeFile(mdx);
        return;
    }
    MdxIndex::create(mdx, tagDefs)->sync();
    TableFile file(absolute, TableFile::Access::ReadWrite);
    layout.marker.indexed = layout.marker.changes;
    const QByteArray base = layout.encodeBase();
    file.writeAt(0, base.constData(), size_t(base.size()));
    file.syncData();
}

void Table::clearProductionIndexFlag(const QString& path) {
    const QString canonical = canonicalOf(path);
    if (auto it = registry().find(canonical); it != registry().end() && !it->second.table.expired())
        inUse(path);
    TableFile file(path, TableFile::Access::ReadWrite);
    if (!file.tryLock(kOpenLock, 1, true)) inUse(path);
    QByteArray base(kBaseHeaderSize, '\0');
    base.resize(qsizetype(file.readAt(0, base.data(), size_t(base.size()))));
    QByteArray header(DbfLayout::statedHeaderLength(base, path), '\0');
    header.resize(qsizetype(file.readAt(0, header.data(), size_t(header.size()))));
    DbfLayout layout = DbfLayout::parse(header, path);
    layout.productionIndex = false;
    for (int f = 0; f < layout.fieldCount(); ++f) layout.setTagged(f, false);
    const QByteArray bytes = layout.encodeHeader();
    file.writeAt(0, bytes.constData(), size_t(bytes.size()));
    file.syncData();
}

}  // namespace dbase
