// The block store under a production index: a file of 512-byte pages read and
// written in blocks of a fixed number of pages, with a cache of the blocks in
// use.
//
// Contract
// * Pages are numbered from the start of the file; a block is addressed by the
//   number of its first page. Every read is bounds-checked against the page
//   count the caller declares (setPageCount) and against the real file size; a
//   short or out-of-range read raises EngineError naming the file.
// * Blocks stay in the cache until dropClean()/dropAll(); pointers returned by
//   block()/writable() stay valid until then. Changed blocks are written only by
//   writeDirty(), in the order documented there.
// * Not thread-safe; the index serialises access.
#pragma once

#include "platform/file.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace dbase::mdx {

constexpr int kPageSize = 512;

class BlockFile {
  public:
    explicit BlockFile(QString path);

    const QString& path() const { return path_; }
    bool writable() const { return writable_; }

    // Opens an existing file; throws EngineError when it cannot be opened.
    void open(bool writable);
    // Creates (truncating) a file for writing.
    void create();

    qint64 fileSize() const { return file_->size(); }
    // Reads bytes straight from the file (no cache); throws when short.
    void readRaw(qint64 offset, uint8_t* out, int bytes);
    void writeRaw(qint64 offset, const uint8_t* data, int bytes);

    void setBlockPages(int pages) { blockBytes_ = pages * kPageSize; }
    int blockBytes() const { return blockBytes_; }
    void setPageCount(uint32_t pages) { pageCount_ = pages; }
    uint32_t pageCount() const { return pageCount_; }

    // The cached block at page; throws EngineError when it lies outside the file.
    const uint8_t* block(uint32_t page);
    // Same, marked changed.
    uint8_t* writable(uint32_t page);
    // A zeroed block at page that is not read from disk (a new block), marked changed.
    uint8_t* fresh(uint32_t page);

    // Writes changed blocks: first those new since the last write (nothing on
    // disk points at them yet), then the others in page order. The caller
    // writes the file header after this, so an interrupted write leaves the
    // old header pointing at trees whose new pieces are already in place.
    // Blocks listed in `last` (the tag headers) are written after all others.
    void writeDirty(const std::vector<uint32_t>& last);
    bool hasDirty() const;
    // Forgets clean blocks (a cache trim); dropAll() forgets every block.
    void dropClean();
    void dropAll();
    size_t cachedBytes() const { return blocks_.size() * size_t(blockBytes_); }

    // Forgets cached blocks at or past `pages` (they are not written).
    void discardFrom(uint32_t pages);
    // Cuts the file to `pages` pages when it is longer.
    void truncate(uint32_t pages);
    void sync();

    [[noreturn]] void damaged(const QString& detail) const;

  private:
    struct Block {
        std::unique_ptr<uint8_t[]> data;
        bool dirty = false;
        bool fresh = false;
    };
    Block& load(uint32_t page);
    void markDirty(uint32_t page, Block& b);

    QString path_;
    std::unique_ptr<platform::File> file_;
    bool writable_ = false;
    int blockBytes_ = 2 * kPageSize;
    uint32_t pageCount_ = 0;
    std::unordered_map<uint32_t, Block> blocks_;
    std::vector<uint32_t> dirty_;  // pages of the dirty blocks, each once
};

}  // namespace dbase::mdx
