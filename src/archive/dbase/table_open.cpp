// Opening a table and repairing what a crash left: the file and its open
// lock, the header read again whenever another process changed it, the torn
// tail cut, and the production index opened, or rebuilt from the records
// when it cannot be trusted.
#include "archive/dbase/table.h"

#include "archive/dbase/engine_settings.h"
#include "archive/dbase/table_internal.h"

#include <limits>

namespace dbase {

void Table::openFiles(Access access) {
    shared_ = access == Access::Shared && localShare();
    for (int attempt = 0;; ++attempt) {
        try {
            file_ = std::make_unique<TableFile>(path_, TableFile::Access::ReadWrite);
        } catch (const EngineError&) {
            file_ = std::make_unique<TableFile>(path_, TableFile::Access::ReadOnly);
        }
        // A read-only handle can only take shared locks.
        if (!file_->tryLock(kOpenLockOffset, 1, !shared_ && file_->writable())) inUse(path_);
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
        if (shared_ && !file_->lock(kWriteLockOffset, 1, false, lockTimeoutMs())) lockedByAnother(path_);
        try {
            reloadFromDisk();
            openIndex(false);
        } catch (...) {
            if (shared_) file_->unlock(kWriteLockOffset, 1);
            throw;
        }
        if (shared_) file_->unlock(kWriteLockOffset, 1);
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

void Table::afterFailure() noexcept {
    // Leave the files consistent if we still can; the marker already says
    // "index not to be trusted", so the next open repairs what this cannot.
    try {
        reloadFromDisk();
        checkOpenState();
    } catch (...) {
    }
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
    scanRecords(*file_, recordOffset(1), recordLength, count_,
                [&](uint32_t first, uint32_t n, QByteArrayView chunk) {
                    const uint32_t whole = uint32_t(chunk.size() / recordLength);
                    for (uint32_t i = 0; i < whole; ++i) {
                        const QByteArrayView record = chunk.sliced(qsizetype(i) * recordLength,
                                                                   recordLength);
                        for (size_t t = 0; t < fields.size(); ++t) {
                            QByteArray key = types[t] == KeyType::Character
                                                 ? MdxIndex::characterKey(
                                                       layout_.bytes(fields[t], record), lengths[t])
                                                 : MdxIndex::dateKey(layout_.date(fields[t], record));
                            entries[t].push_back(IndexEntry{std::move(key), first + i});
                        }
                    }
                    return whole == n;
                });
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

}  // namespace dbase
