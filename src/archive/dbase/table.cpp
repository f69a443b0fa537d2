// The Table itself: what it is made of, and reading it. Records are read
// through a small cache of 32 KiB blocks of the file; keys are built the way
// the production index stores them.
//
// The rest of the class lives beside this file: opening and repair
// (table_open.cpp), sharing with other processes (table_sharing.cpp), durable
// changes (table_writes.cpp) and whole-table operations (table_whole.cpp).
#include "archive/dbase/table.h"

#include "archive/dbase/table_internal.h"
#include "platform/cp1252.h"

#include <bit>
#include <cstring>

namespace dbase {
namespace {

constexpr int64_t kBlockSize = 32768;
constexpr size_t kMaxCachedBlocks = 128;  // 4 MiB of records

}  // namespace

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
        scanRecords(*file_, recordOffset(1), recordLength, count_,
                    [&](uint32_t, uint32_t, QByteArrayView chunk) {
                        for (qsizetype i = 0; i + recordLength <= chunk.size(); i += recordLength) {
                            if (chunk[i] == kDeletedFlag) ++deleted;
                        }
                        return true;
                    });
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

}  // namespace dbase
