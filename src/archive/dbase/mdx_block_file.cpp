#include "archive/dbase/mdx_block_file.h"

#include "archive/dbase/engine_error.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace dbase::mdx {

namespace {

// A file failure in the index's own words.
[[noreturn]] void raiseIndexError(const platform::FileError& failure) {
    const QString path = QDir::toNativeSeparators(failure.path());
    const QString system = platform::systemMessage(failure.systemError());
    switch (failure.action()) {
        case platform::FileError::Action::Open:
            throw EngineError(QStringLiteral("Cannot open the index file %1: %2").arg(path, system));
        case platform::FileError::Action::Create:
            throw EngineError(
                QStringLiteral("Cannot create the index file %1: %2").arg(path, system));
        case platform::FileError::Action::Read:
        case platform::FileError::Action::Examine:
            throw EngineError(QStringLiteral("Cannot read the index file %1: %2").arg(path, system));
        case platform::FileError::Action::Sync:
            throw EngineError(QStringLiteral("Cannot write the index file %1 to disk.").arg(path));
        default:
            throw EngineError(
                QStringLiteral("Cannot write the index file %1: %2").arg(path, system));
    }
}

}  // namespace

BlockFile::BlockFile(QString path) : path_(std::move(path)) {}

void BlockFile::open(bool writable) {
    writable_ = writable;
    file_ = std::make_unique<platform::File>(
        path_, writable ? platform::File::Access::ReadWrite : platform::File::Access::ReadOnly,
        platform::File::Create::No, &raiseIndexError);
}

void BlockFile::create() {
    writable_ = true;
    file_ = std::make_unique<platform::File>(path_, platform::File::Access::ReadWrite,
                                             platform::File::Create::Yes, &raiseIndexError);
}

void BlockFile::damaged(const QString& detail) const {
    throw EngineError(QStringLiteral("The index file %1 is damaged: %2.")
                          .arg(QDir::toNativeSeparators(path_), detail));
}

void BlockFile::readRaw(qint64 offset, uint8_t* out, int bytes) {
    if (offset < 0 || offset + bytes > fileSize())
        damaged(QStringLiteral("it is shorter than its header says"));
    if (file_->readAt(offset, out, size_t(bytes)) != size_t(bytes))
        raiseIndexError(platform::FileError(path_, platform::FileError::Action::Read, EIO));
}

void BlockFile::writeRaw(qint64 offset, const uint8_t* data, int bytes) {
    // One call per block: a post writes a few.
    file_->writeAt(offset, data, size_t(bytes));
}

BlockFile::Block& BlockFile::load(uint32_t page) {
    auto it = blocks_.find(page);
    if (it != blocks_.end()) return it->second;
    const uint32_t pagesPerBlock = uint32_t(blockBytes_ / kPageSize);
    if (page >= pageCount_ || pageCount_ - page < pagesPerBlock)
        damaged(QStringLiteral("page %1 lies outside the file").arg(page));
    Block b;
    b.data = std::make_unique<uint8_t[]>(size_t(blockBytes_));
    readRaw(qint64(page) * kPageSize, b.data.get(), blockBytes_);
    return blocks_.emplace(page, std::move(b)).first->second;
}

const uint8_t* BlockFile::block(uint32_t page) {
    return load(page).data.get();
}

void BlockFile::markDirty(uint32_t page, Block& b) {
    if (!b.dirty) dirty_.push_back(page);
    b.dirty = true;
}

uint8_t* BlockFile::writable(uint32_t page) {
    Block& b = load(page);
    markDirty(page, b);
    return b.data.get();
}

uint8_t* BlockFile::fresh(uint32_t page) {
    Block& b = blocks_[page];
    if (!b.data) b.data = std::make_unique<uint8_t[]>(size_t(blockBytes_));
    std::memset(b.data.get(), 0, size_t(blockBytes_));
    markDirty(page, b);
    b.fresh = true;
    return b.data.get();
}

void BlockFile::writeDirty(const std::vector<uint32_t>& last) {
    // The changed blocks are listed as they change: a post writes a few
    // blocks of a cache that may hold thousands, and must not walk them all.
    std::vector<uint32_t> fresh, changed, late;
    for (uint32_t page : dirty_) {
        const Block& b = blocks_[page];
        if (std::find(last.begin(), last.end(), page) != last.end())
            late.push_back(page);
        else
            (b.fresh ? fresh : changed).push_back(page);
    }
    std::sort(fresh.begin(), fresh.end());
    std::sort(changed.begin(), changed.end());
    for (const auto* list : {&fresh, &changed, &late}) {
        for (uint32_t page : *list) {
            Block& b = blocks_[page];
            writeRaw(qint64(page) * kPageSize, b.data.get(), blockBytes_);
            b.dirty = false;
            b.fresh = false;
        }
    }
    dirty_.clear();
}

bool BlockFile::hasDirty() const {
    return !dirty_.empty();
}

void BlockFile::dropClean() {
    for (auto it = blocks_.begin(); it != blocks_.end();) {
        if (it->second.dirty)
            ++it;
        else
            it = blocks_.erase(it);
    }
}

void BlockFile::dropAll() {
    blocks_.clear();
    dirty_.clear();
}

void BlockFile::discardFrom(uint32_t pages) {
    if (pages >= pageCount_) return;  // no block lies there
    for (auto it = blocks_.begin(); it != blocks_.end();) {
        if (it->first >= pages)
            it = blocks_.erase(it);
        else
            ++it;
    }
    dirty_.erase(std::remove_if(dirty_.begin(), dirty_.end(),
                                [pages](uint32_t page) { return page >= pages; }),
                 dirty_.end());
}

void BlockFile::truncate(uint32_t pages) {
    if (fileSize() > qint64(pages) * kPageSize) file_->resize(qint64(pages) * kPageSize);
}

void BlockFile::sync() {
    if (writable_) file_->syncData();
}

}  // namespace dbase::mdx
