// The state behind an MdxIndex, shared by the files that implement it:
// mdx_tree.cpp (descent, stepping, insertion and removal with splits and
// merges), mdx_build.cpp (bulk build from sorted entries), mdx_tag_table.cpp
// (file header, tag table and tag headers; flush), mdx_verify.cpp (the full
// walk), and mdx_index.cpp (the public interface). Not for anyone else.
//
// Every page the tree reaches is fetched through node(), which checks it and
// counts it against a per-operation budget, so a damaged file raises
// EngineError instead of looping.
#pragma once

#include "archive/dbase/mdx_block_file.h"
#include "archive/dbase/mdx_format.h"
#include "archive/dbase/mdx_index.h"
#include "archive/dbase/mdx_node.h"

#include <QDir>
#include <cstring>
#include <optional>
#include <unordered_set>
#include <vector>

namespace dbase {
namespace mdx {

struct Level {
    uint32_t page;
    int idx;  // child taken, 0..n
};

// A position in one tag's tree: the interior path from the root, the leaf
// and an index in it. (Not a dataset cursor: only the index sees it.)
struct TreePosition {
    std::vector<Level> path;
    uint32_t leaf = 0;
    int idx = 0;
    const uint8_t* data = nullptr;
};

}  // namespace mdx

struct MdxIndex::Impl {
    explicit Impl(const QString& path) : file(path) {}

    mdx::BlockFile file;
    uint8_t header[mdx::kHeaderBytes] = {};
    std::vector<mdx::Tag> tags;
    std::vector<uint32_t> freeBlocks;
    bool headerChanged = false;
    uint64_t version = 1;
    int64_t budget = 0;

    struct Nav {
        int tag = -1;
        uint64_t version = 0;
        uint64_t hops = 0;
        mdx::TreePosition c;
    } nav;

    // ---- errors and checks ------------------------------------------------
    QString nativePath() const { return QDir::toNativeSeparators(file.path()); }
    [[noreturn]] void damaged(const QString& detail) const { file.damaged(detail); }
    [[noreturn]] void notMdx() const {
        throw EngineError(QStringLiteral("The file %1 is not a dBASE IV production index (.mdx).")
                              .arg(nativePath()));
    }
    void requireWritable() const {
        if (!file.writable())
            throw EngineError(
                QStringLiteral("The index file %1 is open read-only.").arg(nativePath()));
    }
    int blockPages() const { return file.blockBytes() / mdx::kPageSize; }
    uint64_t blockCount() const { return file.pageCount() / uint32_t(blockPages()); }
    mdx::Tag& tagAt(int tag) {
        if (tag < 0 || tag >= int(tags.size()))
            throw EngineError(QStringLiteral("The index file %1 has no tag number %2.")
                                  .arg(nativePath())
                                  .arg(tag));
        return tags[size_t(tag)];
    }

    // Every public operation starts here: trims the cache between operations
    // (never while a pointer into it is held) and sets the visit budget that
    // makes a looping or shared page a fault instead of a hang.
    void beginOp() {
        if (file.cachedBytes() > mdx::kCacheLimit) {
            file.dropClean();
            ++version;
        }
        budget = int64_t(blockCount()) * 4 + 256;
    }
    bool validPage(uint32_t page) const {
        return page >= 4 && page % uint32_t(blockPages()) == 0 && page < file.pageCount();
    }

    // ---- nodes ------------------------------------------------------------
    const uint8_t* node(const mdx::Tag& t, uint32_t page) {
        if (--budget < 0)
            damaged(
                QStringLiteral("its tree of tag %1 reaches pages more than once").arg(t.def.name));
        if (!validPage(page))
            damaged(QStringLiteral("tag %1 points at page %2").arg(t.def.name).arg(page));
        const uint8_t* b = file.block(page);
        if (platform::readLe32(b) > uint32_t(t.maxKeys))
            damaged(QStringLiteral("page %1 of tag %2 holds %3 keys")
                        .arg(page)
                        .arg(t.def.name)
                        .arg(platform::readLe32(b)));
        return b;
    }

    bool atEntry(const mdx::TreePosition& c) const {
        return c.data && c.idx >= 0 && c.idx < mdx::count(c.data);
    }
    IndexEntry entryAt(const mdx::Tag& t, const mdx::TreePosition& c) const {
        return IndexEntry{
            QByteArray(reinterpret_cast<const char*>(mdx::key(t, c.data, c.idx)), t.keyLen),
            mdx::ptr(t, c.data, c.idx)};
    }
    std::optional<IndexEntry> remember(int tag, const mdx::TreePosition& c, bool fresh) {
        const mdx::Tag& t = tags[size_t(tag)];
        if (!atEntry(c)) {
            nav.tag = -1;
            return std::nullopt;
        }
        if (fresh) {
            nav.hops = 0;
        } else if (++nav.hops > blockCount() * uint64_t(t.maxKeys) + 1) {
            damaged(
                QStringLiteral("its tree of tag %1 reaches pages more than once").arg(t.def.name));
        }
        nav.tag = tag;
        nav.version = version;
        if (&nav.c != &c) nav.c = c;
        return entryAt(t, c);
    }
    bool navAt(int tag, const IndexEntry& from) const {
        if (nav.tag != tag || nav.version != version || !atEntry(nav.c)) return false;
        const mdx::Tag& t = tags[size_t(tag)];
        return from.recno == mdx::ptr(t, nav.c.data, nav.c.idx) && from.key.size() == t.keyLen &&
               std::memcmp(from.key.constData(), mdx::key(t, nav.c.data, nav.c.idx),
                           size_t(t.keyLen)) == 0;
    }

    QByteArray normalize(const mdx::Tag& t, QByteArrayView k) const;

    // ---- descent and stepping --------------------------------------------
    void pushChild(mdx::TreePosition& c, uint32_t parent, int idx, uint32_t child);
    void descendLeft(const mdx::Tag& t, mdx::TreePosition& c, uint32_t page);
    void descendRight(const mdx::Tag& t, mdx::TreePosition& c, uint32_t page);
    bool nextLeaf(const mdx::Tag& t, mdx::TreePosition& c);
    bool prevLeaf(const mdx::Tag& t, mdx::TreePosition& c);
    int leafLowerBound(const mdx::Tag& t, const uint8_t* b, const uint8_t* k, uint32_t recno) const;
    mdx::TreePosition locate(const mdx::Tag& t, const uint8_t* k, uint32_t recno);

    // ---- neighbours -------------------------------------------------------
    uint32_t rightNeighbor(const mdx::Tag& t, const std::vector<mdx::Level>& path, size_t level);
    uint32_t leftNeighbor(const mdx::Tag& t, const std::vector<mdx::Level>& path, size_t level);
    void setPrev(uint32_t page, uint32_t prev);

    // ---- block allocation ---------------------------------------------------
    uint32_t allocBlock();
    uint32_t allocTreeBlock(mdx::Tag& t);
    void freeTreeBlock(mdx::Tag& t, uint32_t page);

    // ---- insertion ------------------------------------------------------------
    void insertAt(mdx::Tag& t, mdx::TreePosition& c, const uint8_t* k, uint32_t recno);
    void insertIntoParent(mdx::Tag& t, std::vector<mdx::Level>& path, size_t level, uint32_t left,
                          const QByteArray& sep, uint32_t right);

    // ---- removal ----------------------------------------------------------------
    void fixSeparators(const mdx::Tag& t, const std::vector<mdx::Level>& path, size_t level,
                       const QByteArray& newMax);
    void removeChild(mdx::Tag& t, std::vector<mdx::Level>& path, size_t j, uint32_t child,
                     bool childIsLeaf);
    void collapseRoot(mdx::Tag& t);
    void fixLoneChild(mdx::Tag& t, std::vector<mdx::Level>& path, size_t j);

    // ---- bulk build -------------------------------------------------------------
    void collectTree(const mdx::Tag& t, uint32_t page, int depth,
                     std::unordered_set<uint32_t>& seen, std::vector<uint32_t>& out);
    void build(mdx::Tag& t, std::vector<IndexEntry>& entries);

    // ---- header and tag table -----------------------------------------------------
    void initHeader(const QString& tableName);
    uint8_t* entryBytes(int tag);
    void parse();
    mdx::Tag parseTag(int i);
    void writeTagHeader(const mdx::Tag& t);
    void initTagHeader(const mdx::Tag& t);
    void linkTagName(int index);
    int addTagHeader(const TagSpec& def);
    void flush();
    uint64_t verifyTag(const mdx::Tag& t, std::unordered_set<uint32_t>& seen);
};

}  // namespace dbase
