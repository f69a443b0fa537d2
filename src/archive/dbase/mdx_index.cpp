// The dBASE IV production index (.mdx), read and written byte for byte.
//
// File layout (all numbers little-endian; "page" = 512 bytes, a block is
// `blockPages` pages, 2 in every file we write, so 1024 bytes):
//
//   File header, pages 0-3
//     0      version (2)               1-3    creation date, year-1900, month, day
//     4-19   table file name, no extension, NUL padded
//     20-21  pages per block (2)       22-23  bytes per block (1024)
//     24     production index flag (1) 25     tag table slots (48)
//     26     tag table entry length (32)
//     28-29  tags in use               30     next tag slot (tags + 1)
//     31     language driver (0x1B)
//     32-35  pages in the file         36-39  first free page   40-43 free blocks
//     44-46  date of last update       529    1 (as every file we have seen)
//   Tag table at 544, 32 bytes per tag (at most 47 fit before page 4)
//     0-3    page of the tag header    4-14   tag name, NUL padded
//     15     key format (0x10 = field) 16-18  tag name tree: less, greater, parent
//                                             (1-based slot numbers, 0 = none)
//     19     2                         20     key type 'C' or 'D'
//   Tag header, one block
//     0-3    root page                 4-7    pages held by the tag's tree
//     8      key format (0x10)         9      key type 'C' / 'D'
//     11     language driver           12-13  key length
//     14-15  keys per node             16-17  secondary key type (1 for dates)
//     18-19  item length: 4 + key length, rounded up to a multiple of 4
//     20     change counter (one byte, wraps)      23  unique flag (0)
//     24-    key expression (the field name), NUL terminated
//     246    1; 248-251 first leaf; 252-255 last leaf; 257-259 date of update
//     480    1
//   B-tree node, one block
//     0-3    number of keys n          4-7    previous node on the same level
//     8-     items of `item length` bytes: 4-byte pointer, then the key
//            Leaf: pointer = record number of the entry.
//            Interior: pointer = child page; item i's key is the greatest key in
//            child i; the pointer of item n (no key) is the rightmost child.
//            A node is a leaf when the pointer after its last key is 0.
//   Keys per node = (block - 12) / item length: room for n items and the tail.
//
// Sources: the published descriptions of the multiple-index layout (header,
// tag table and tag header offsets), the notes of an independent open-source
// dBASE library (node layout, 1024-byte blocks, double Julian dates), and the
// fixture files it wrote, which fix the remaining bytes (30, 31, 529, the tag
// header's 246-259 and 480, the tree page count at 4-7).
//
// Invariants we keep: entries in (key, recno) order with equal keys in record
// order; interior keys equal the greatest key of their child; only the root may
// have no keys; the previous-node links and first/last leaf are exact. Freed
// blocks are reused within the session and cut off the file end at flush; a
// freed block in the middle is left zeroed and unreferenced, so the free-list
// fields of the header (whose chaining is not published) stay as they were.
#include "archive/dbase/mdx_index.h"

#include "archive/dbase/dbf_file.h"
#include "archive/dbase/mdx_block_file.h"
#include "platform/byte_order.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_set>

namespace dbase {

namespace {

using mdx::BlockFile;
using mdx::kPageSize;

constexpr int kHeaderBytes = 2048;
constexpr int kTagTable = 544;
constexpr int kTagEntryBytes = 32;
constexpr int kMaxTags = 47;
constexpr int kMaxDepth = 32;
constexpr int kMaxCharKey = 100;
constexpr int kExpressionBytes = 220;
constexpr uint8_t kLanguageDriver = 0x1B;
constexpr size_t kCacheLimit = size_t(32) << 20;

double getDouble(const uint8_t* p) {
    uint64_t bits = uint64_t(platform::readLe32(p)) | uint64_t(platform::readLe32(p + 4)) << 32;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
void putDouble(uint8_t* p, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    platform::writeLe32(p, uint32_t(bits));
    platform::writeLe32(p + 4, uint32_t(bits >> 32));
}
void putDate(uint8_t* p) {
    const QDate date = today();
    p[0] = uint8_t(date.year() - 1900);
    p[1] = uint8_t(date.month());
    p[2] = uint8_t(date.day());
}

struct Tag {
    TagSpec def;
    uint32_t headerPage = 0;
    uint32_t root = 0;
    uint32_t firstLeaf = 0;
    uint32_t lastLeaf = 0;
    uint32_t treePages = 0;
    int keyLen = 0;
    int itemLen = 0;
    int maxKeys = 0;         // as stored: the most keys a node read from disk may hold
    int capacity = 0;        // the most keys we put in a node (room for the tail pointer)
    bool leafLinks = false;  // the header carries first/last leaf (byte 246 = 1)
    bool changed = false;
};

struct Level {
    uint32_t page;
    int idx;  // child taken, 0..n
};

// A position in one tag's tree: the interior path from the root, the leaf
// and an index in it. (Not a dataset cursor: nothing outside this file sees it.)
struct TreePosition {
    std::vector<Level> path;
    uint32_t leaf = 0;
    int idx = 0;
    const uint8_t* data = nullptr;
};

}  // namespace

struct MdxIndex::Impl {
    explicit Impl(const QString& path) : file(path) {}

    BlockFile file;
    uint8_t header[kHeaderBytes] = {};
    std::vector<Tag> tags;
    std::vector<uint32_t> freeBlocks;
    bool headerChanged = false;
    uint64_t version = 1;
    int64_t budget = 0;

    struct Nav {
        int tag = -1;
        uint64_t version = 0;
        uint64_t hops = 0;
        TreePosition c;
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
    int blockPages() const { return file.blockBytes() / kPageSize; }
    uint64_t blockCount() const { return file.pageCount() / uint32_t(blockPages()); }
    Tag& tagAt(int tag) {
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
        if (file.cachedBytes() > kCacheLimit) {
            file.dropClean();
            ++version;
        }
        budget = int64_t(blockCount()) * 4 + 256;
    }
    bool validPage(uint32_t page) const {
        return page >= 4 && page % uint32_t(blockPages()) == 0 && page < file.pageCount();
    }

    // ---- nodes ------------------------------------------------------------
    const uint8_t* node(const Tag& t, uint32_t page) {
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
    static int count(const uint8_t* b) { return int(platform::readLe32(b)); }
    static const uint8_t* item(const Tag& t, const uint8_t* b, int i) {
        return b + 8 + i * t.itemLen;
    }
    static uint8_t* item(const Tag& t, uint8_t* b, int i) { return b + 8 + i * t.itemLen; }
    static uint32_t ptr(const Tag& t, const uint8_t* b, int i) {
        return platform::readLe32(item(t, b, i));
    }
    static const uint8_t* key(const Tag& t, const uint8_t* b, int i) { return item(t, b, i) + 4; }
    bool isLeaf(const Tag& t, const uint8_t* b) const {
        const int off = 8 + count(b) * t.itemLen;
        return off + 4 > file.blockBytes() || platform::readLe32(b + off) == 0;
    }
    int usedEnd(const Tag& t, int n) const {
        return std::min(file.blockBytes(), 8 + n * t.itemLen + 4);
    }
    void setItem(const Tag& t, uint8_t* b, int i, uint32_t p, const uint8_t* k) {
        uint8_t* it = item(t, b, i);
        platform::writeLe32(it, p);
        std::memcpy(it + 4, k, size_t(t.keyLen));
        std::memset(it + 4 + t.keyLen, 0, size_t(t.itemLen - 4 - t.keyLen));
    }
    void insertItem(const Tag& t, uint8_t* b, int pos, uint32_t p, const uint8_t* k) {
        const int n = count(b);
        uint8_t* at = item(t, b, pos);
        std::memmove(at + t.itemLen, at, size_t(usedEnd(t, n) - (8 + pos * t.itemLen)));
        setItem(t, b, pos, p, k);
        platform::writeLe32(b, uint32_t(n + 1));
    }
    void removeItem(const Tag& t, uint8_t* b, int pos) {
        const int n = count(b);
        const int end = usedEnd(t, n);
        uint8_t* at = item(t, b, pos);
        std::memmove(at, at + t.itemLen, size_t(end - (8 + (pos + 1) * t.itemLen)));
        std::memset(b + end - t.itemLen, 0, size_t(t.itemLen));
        platform::writeLe32(b, uint32_t(n - 1));
    }
    // Drops the last key of an interior node: its pointer becomes the tail.
    void dropLastKey(const Tag& t, uint8_t* b) {
        const int n = count(b);
        const int from = 8 + (n - 1) * t.itemLen + 4;
        std::memset(b + from, 0, size_t(usedEnd(t, n) - from));
        platform::writeLe32(b, uint32_t(n - 1));
    }

    int cmpKey(const Tag& t, const uint8_t* a, const uint8_t* b) const {
        if (t.def.type == KeyType::Date) {
            const double x = getDouble(a), y = getDouble(b);
            return x < y ? -1 : (x > y ? 1 : 0);
        }
        const int c = std::memcmp(a, b, size_t(t.keyLen));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    int cmpEntry(const Tag& t, const uint8_t* ka, uint32_t ra, const uint8_t* kb,
                 uint32_t rb) const {
        const int c = cmpKey(t, ka, kb);
        if (c != 0) return c;
        return ra < rb ? -1 : (ra > rb ? 1 : 0);
    }

    QByteArray normalize(const Tag& t, QByteArrayView k) const {
        if (t.def.type == KeyType::Date) {
            if (k.size() != 8)
                throw EngineError(
                    QStringLiteral("A key of %1 bytes was given for the date tag %2 of %3.")
                        .arg(k.size())
                        .arg(t.def.name, nativePath()));
            return k.toByteArray();
        }
        return characterKey(k, t.keyLen);
    }

    // ---- descent and stepping --------------------------------------------
    void pushChild(TreePosition& c, uint32_t parent, int idx, uint32_t child) {
        if (c.path.size() >= size_t(kMaxDepth))
            damaged(QStringLiteral("its tree is deeper than possible"));
        c.path.push_back({parent, idx});
        for (const Level& l : c.path)
            if (l.page == child)
                damaged(QStringLiteral("page %1 is reached twice in one descent").arg(child));
    }
    void descendLeft(const Tag& t, TreePosition& c, uint32_t page) {
        for (;;) {
            const uint8_t* b = node(t, page);
            if (isLeaf(t, b)) {
                c.leaf = page;
                c.data = b;
                c.idx = 0;
                return;
            }
            const uint32_t child = ptr(t, b, 0);
            pushChild(c, page, 0, child);
            page = child;
        }
    }
    void descendRight(const Tag& t, TreePosition& c, uint32_t page) {
        for (;;) {
            const uint8_t* b = node(t, page);
            if (isLeaf(t, b)) {
                c.leaf = page;
                c.data = b;
                c.idx = count(b) - 1;
                return;
            }
            const int n = count(b);
            const uint32_t child = ptr(t, b, n);
            pushChild(c, page, n, child);
            page = child;
        }
    }
    // Moves to index 0 of the next leaf that has entries; false at the end.
    bool nextLeaf(const Tag& t, TreePosition& c) {
        while (!c.path.empty()) {
            Level& lv = c.path.back();
            const uint8_t* b = node(t, lv.page);
            if (lv.idx < count(b)) {
                ++lv.idx;
                const uint32_t child = ptr(t, b, lv.idx);
                for (size_t i = 0; i + 1 < c.path.size(); ++i)
                    if (c.path[i].page == child)
                        damaged(QStringLiteral("page %1 is reached twice").arg(child));
                if (child == lv.page)
                    damaged(QStringLiteral("page %1 is reached twice").arg(child));
                descendLeft(t, c, child);
                if (count(c.data) == 0) continue;
                return true;
            }
            c.path.pop_back();
        }
        return false;
    }
    // Moves to the last index of the previous leaf that has entries.
    bool prevLeaf(const Tag& t, TreePosition& c) {
        while (!c.path.empty()) {
            Level& lv = c.path.back();
            const uint8_t* b = node(t, lv.page);
            if (lv.idx > 0) {
                lv.idx = std::min(lv.idx, count(b) + 1) - 1;
                const uint32_t child = ptr(t, b, lv.idx);
                if (child == lv.page)
                    damaged(QStringLiteral("page %1 is reached twice").arg(child));
                descendRight(t, c, child);
                if (count(c.data) == 0) continue;
                return true;
            }
            c.path.pop_back();
        }
        return false;
    }
    int leafLowerBound(const Tag& t, const uint8_t* b, const uint8_t* k, uint32_t recno) const {
        int lo = 0, hi = count(b);
        while (lo < hi) {
            const int mid = (lo + hi) / 2;
            if (cmpEntry(t, key(t, b, mid), ptr(t, b, mid), k, recno) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    }
    // The insertion point of (k, recno): idx may equal the leaf's count.
    TreePosition locate(const Tag& t, const uint8_t* k, uint32_t recno) {
        TreePosition c;
        uint32_t page = t.root;
        for (;;) {
            const uint8_t* b = node(t, page);
            if (isLeaf(t, b)) {
                c.leaf = page;
                c.data = b;
                c.idx = leafLowerBound(t, b, k, recno);
                break;
            }
            int lo = 0, hi = count(b);
            while (lo < hi) {
                const int mid = (lo + hi) / 2;
                if (cmpKey(t, key(t, b, mid), k) < 0)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            const uint32_t child = ptr(t, b, lo);
            pushChild(c, page, lo, child);
            page = child;
        }
        // Equal keys may run on into the next leaves (interior keys carry no
        // record number): follow them while the whole leaf sorts before us.
        while (c.idx == count(c.data)) {
            TreePosition n = c;
            if (!nextLeaf(t, n)) break;
            if (cmpEntry(t, key(t, n.data, 0), ptr(t, n.data, 0), k, recno) >= 0) break;
            c = std::move(n);
            c.idx = leafLowerBound(t, c.data, k, recno);
        }
        return c;
    }
    bool atEntry(const TreePosition& c) const {
        return c.data && c.idx >= 0 && c.idx < count(c.data);
    }
    IndexEntry entryAt(const Tag& t, const TreePosition& c) const {
        return IndexEntry{
            QByteArray(reinterpret_cast<const char*>(key(t, c.data, c.idx)), t.keyLen),
            ptr(t, c.data, c.idx)};
    }
    std::optional<IndexEntry> remember(int tag, const TreePosition& c, bool fresh) {
        const Tag& t = tags[size_t(tag)];
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
        const Tag& t = tags[size_t(tag)];
        return from.recno == ptr(t, nav.c.data, nav.c.idx) && from.key.size() == t.keyLen &&
               std::memcmp(from.key.constData(), key(t, nav.c.data, nav.c.idx), size_t(t.keyLen)) ==
                   0;
    }

    // ---- neighbours -------------------------------------------------------
    // The node after / before the one at `level` (path.size() = the leaf level).
    uint32_t rightNeighbor(const Tag& t, const std::vector<Level>& path, size_t level) {
        for (size_t j = level; j-- > 0;) {
            const uint8_t* b = node(t, path[j].page);
            if (path[j].idx < count(b)) {
                uint32_t page = ptr(t, b, path[j].idx + 1);
                for (size_t d = j + 1; d < level; ++d) page = ptr(t, node(t, page), 0);
                return page;
            }
        }
        return 0;
    }
    uint32_t leftNeighbor(const Tag& t, const std::vector<Level>& path, size_t level) {
        for (size_t j = level; j-- > 0;) {
            if (path[j].idx > 0) {
                uint32_t page = ptr(t, node(t, path[j].page), path[j].idx - 1);
                for (size_t d = j + 1; d < level; ++d) {
                    const uint8_t* b = node(t, page);
                    page = ptr(t, b, count(b));
                }
                return page;
            }
        }
        return 0;
    }
    void setPrev(uint32_t page, uint32_t prev) {
        if (page) platform::writeLe32(file.writable(page) + 4, prev);
    }

    // ---- block allocation ---------------------------------------------------
    uint32_t allocBlock() {
        uint32_t page;
        if (!freeBlocks.empty()) {
            page = freeBlocks.back();
            freeBlocks.pop_back();
        } else {
            page = file.pageCount();
            file.setPageCount(page + uint32_t(blockPages()));
            headerChanged = true;
        }
        file.fresh(page);
        return page;
    }
    uint32_t allocTreeBlock(Tag& t) {
        t.treePages += uint32_t(blockPages());
        return allocBlock();
    }
    void freeTreeBlock(Tag& t, uint32_t page) {
        t.treePages -= std::min(t.treePages, uint32_t(blockPages()));
        file.fresh(page);
        freeBlocks.push_back(page);
    }

    // ---- insertion ------------------------------------------------------------
    void insertAt(Tag& t, TreePosition& c, const uint8_t* k, uint32_t recno) {
        uint8_t* b = file.writable(c.leaf);
        const int n = count(b);
        if (n < t.capacity) {
            insertItem(t, b, c.idx, recno, k);
            return;
        }
        std::vector<uint8_t> items(size_t(n + 1) * size_t(t.itemLen));
        std::memcpy(items.data(), item(t, b, 0), size_t(c.idx * t.itemLen));
        std::memcpy(items.data() + size_t((c.idx + 1) * t.itemLen), item(t, b, c.idx),
                    size_t((n - c.idx) * t.itemLen));
        uint8_t* at = items.data() + size_t(c.idx * t.itemLen);
        platform::writeLe32(at, recno);
        std::memcpy(at + 4, k, size_t(t.keyLen));
        std::memset(at + 4 + t.keyLen, 0, size_t(t.itemLen - 4 - t.keyLen));
        // Appending to the last leaf (journal order) keeps the left leaf full.
        const int left = (c.idx == n && c.leaf == t.lastLeaf) ? n : (n + 1) / 2;
        const uint32_t next = rightNeighbor(t, c.path, c.path.size());
        const uint32_t right = allocTreeBlock(t);
        uint8_t* rb = file.writable(right);
        std::memset(b + 8, 0, size_t(file.blockBytes() - 8));
        std::memcpy(b + 8, items.data(), size_t(left * t.itemLen));
        platform::writeLe32(b, uint32_t(left));
        std::memcpy(rb + 8, items.data() + size_t(left * t.itemLen),
                    size_t((n + 1 - left) * t.itemLen));
        platform::writeLe32(rb, uint32_t(n + 1 - left));
        platform::writeLe32(rb + 4, c.leaf);
        setPrev(next, right);
        if (t.lastLeaf == c.leaf || next == 0) t.lastLeaf = right;
        const QByteArray sep(reinterpret_cast<const char*>(key(t, b, left - 1)), t.keyLen);
        insertIntoParent(t, c.path, c.path.size(), c.leaf, sep, right);
    }
    // The node at `level` (path[level-1] is its parent) split into left and right.
    void insertIntoParent(Tag& t, std::vector<Level>& path, size_t level, uint32_t left,
                          const QByteArray& sep, uint32_t right) {
        const auto* sk = reinterpret_cast<const uint8_t*>(sep.constData());
        if (level == 0) {
            const uint32_t root = allocTreeBlock(t);
            uint8_t* rb = file.writable(root);
            setItem(t, rb, 0, left, sk);
            platform::writeLe32(item(t, rb, 1), right);
            platform::writeLe32(rb, 1);
            setPrev(left, 0);
            t.root = root;
            return;
        }
        Level& pl = path[level - 1];
        uint8_t* pb = file.writable(pl.page);
        const int n = count(pb);
        const int ci = pl.idx;
        if (n < t.capacity) {
            insertItem(t, pb, ci, left, sk);
            platform::writeLe32(item(t, pb, ci + 1), right);
            return;
        }
        // Split the parent: n + 1 keys and n + 2 pointers after the insertion.
        const int keys = n + 1;
        std::vector<uint32_t> ptrs;
        std::vector<uint8_t> kb;
        for (int i = 0; i <= n; ++i) {
            if (i == ci) {
                ptrs.push_back(left);
                ptrs.push_back(right);
                kb.insert(kb.end(), sk, sk + t.keyLen);
            } else {
                ptrs.push_back(ptr(t, pb, i));
            }
            if (i < n) kb.insert(kb.end(), key(t, pb, i), key(t, pb, i) + t.keyLen);
        }
        const uint32_t next = rightNeighbor(t, path, level - 1);
        const int m = (ci == n && next == 0) ? keys - 2 : keys / 2;  // left keeps keys 0..m-1
        const uint32_t q = allocTreeBlock(t);
        uint8_t* qb = file.writable(q);
        std::memset(pb + 8, 0, size_t(file.blockBytes() - 8));
        for (int i = 0; i < m; ++i)
            setItem(t, pb, i, ptrs[size_t(i)], kb.data() + size_t(i * t.keyLen));
        platform::writeLe32(item(t, pb, m), ptrs[size_t(m)]);
        platform::writeLe32(pb, uint32_t(m));
        const int rk = keys - 1 - m;
        for (int i = 0; i < rk; ++i)
            setItem(t, qb, i, ptrs[size_t(m + 1 + i)], kb.data() + size_t((m + 1 + i) * t.keyLen));
        platform::writeLe32(item(t, qb, rk), ptrs[size_t(keys)]);
        platform::writeLe32(qb, uint32_t(rk));
        platform::writeLe32(qb + 4, pl.page);
        setPrev(next, q);
        const QByteArray up(reinterpret_cast<const char*>(kb.data() + size_t(m * t.keyLen)),
                            t.keyLen);
        insertIntoParent(t, path, level - 1, pl.page, up, q);
    }

    // ---- removal ----------------------------------------------------------------
    // The greatest key below path[level-1]'s child changed: carry it up to the
    // first ancestor where that child is not the rightmost one.
    void fixSeparators(const Tag& t, const std::vector<Level>& path, size_t level,
                       const QByteArray& newMax) {
        for (size_t j = level; j-- > 0;) {
            const uint8_t* b = node(t, path[j].page);
            if (path[j].idx < count(b)) {
                uint8_t* w = file.writable(path[j].page);
                std::memcpy(item(t, w, path[j].idx) + 4, newMax.constData(), size_t(t.keyLen));
                return;
            }
        }
    }
    // Removes child path[j].idx of node path[j].page and frees it.
    void removeChild(Tag& t, std::vector<Level>& path, size_t j, uint32_t child, bool childIsLeaf) {
        const uint32_t left = leftNeighbor(t, path, j + 1);
        const uint32_t right = rightNeighbor(t, path, j + 1);
        setPrev(right, left);
        if (childIsLeaf) {
            if (t.firstLeaf == child || left == 0) t.firstLeaf = right;
            if (t.lastLeaf == child || right == 0) t.lastLeaf = left;
        }
        freeTreeBlock(t, child);
        const Level& l = path[j];
        uint8_t* b = file.writable(l.page);
        const int n = count(b);
        if (n == 0) {  // its only child went
            if (j == 0) {
                std::memset(b, 0, size_t(file.blockBytes()));
                t.firstLeaf = t.lastLeaf = t.root = l.page;
                return;
            }
            removeChild(t, path, j - 1, l.page, false);
            return;
        }
        if (l.idx < n) {
            removeItem(t, b, l.idx);
        } else {
            const QByteArray newMax(reinterpret_cast<const char*>(key(t, b, n - 1)), t.keyLen);
            dropLastKey(t, b);
            fixSeparators(t, path, j, newMax);
        }
        if (n - 1 > 0) return;
        if (j == 0)
            collapseRoot(t);
        else
            fixLoneChild(t, path, j);
    }
    void collapseRoot(Tag& t) {
        for (int guard = 0; guard < kMaxDepth; ++guard) {
            const uint8_t* b = node(t, t.root);
            if (isLeaf(t, b) || count(b) > 0) return;
            const uint32_t child = ptr(t, b, 0);
            freeTreeBlock(t, t.root);
            t.root = child;
            setPrev(child, 0);
        }
    }
    // path[j] is a non-root interior node left with one child and no key:
    // hand the child to a sibling, or borrow one from it.
    void fixLoneChild(Tag& t, std::vector<Level>& path, size_t j) {
        const uint32_t x = path[j].page;
        const uint32_t lone = ptr(t, node(t, x), 0);
        const uint32_t gp = path[j - 1].page;
        const int xi = path[j - 1].idx;
        const uint8_t* gb = node(t, gp);
        const int gn = count(gb);
        const uint32_t s = xi > 0 ? ptr(t, gb, xi - 1) : 0;
        const uint32_t r = xi < gn ? ptr(t, gb, xi + 1) : 0;
        const int sn = s ? count(node(t, s)) : 0;
        const int rn = r ? count(node(t, r)) : 0;
        if ((s && (sn < 1 || isLeaf(t, node(t, s)))) || (r && (rn < 1 || isLeaf(t, node(t, r)))))
            damaged(QStringLiteral("the levels of tag %1 do not match").arg(t.def.name));
        if (s && sn < t.capacity) {  // merge into the left sibling
            const uint32_t after = rightNeighbor(t, path, j);
            uint8_t* sb = file.writable(s);
            std::memcpy(item(t, sb, sn) + 4, key(t, node(t, gp), xi - 1), size_t(t.keyLen));
            platform::writeLe32(item(t, sb, sn + 1), lone);
            platform::writeLe32(sb, uint32_t(sn + 1));
            uint8_t* g = file.writable(gp);
            removeItem(t, g, xi - 1);
            platform::writeLe32(item(t, g, xi - 1), s);
            setPrev(after, s);
            freeTreeBlock(t, x);
        } else if (r && rn < t.capacity) {  // merge into the right sibling
            const uint32_t before = leftNeighbor(t, path, j);
            const QByteArray sepX(reinterpret_cast<const char*>(key(t, gb, xi)), t.keyLen);
            insertItem(t, file.writable(r), 0, lone,
                       reinterpret_cast<const uint8_t*>(sepX.constData()));
            removeItem(t, file.writable(gp), xi);
            setPrev(r, before);
            freeTreeBlock(t, x);
        } else if (s) {  // borrow the left sibling's last child
            uint8_t* sb = file.writable(s);
            const uint32_t moved = ptr(t, sb, sn);
            const QByteArray sepS(reinterpret_cast<const char*>(key(t, gb, xi - 1)), t.keyLen);
            const QByteArray newSepS(reinterpret_cast<const char*>(key(t, sb, sn - 1)), t.keyLen);
            dropLastKey(t, sb);
            uint8_t* xb = file.writable(x);
            setItem(t, xb, 0, moved, reinterpret_cast<const uint8_t*>(sepS.constData()));
            platform::writeLe32(item(t, xb, 1), lone);
            platform::writeLe32(xb, 1);
            std::memcpy(item(t, file.writable(gp), xi - 1) + 4, newSepS.constData(),
                        size_t(t.keyLen));
            return;
        } else if (r) {  // borrow the right sibling's first child
            uint8_t* rb = file.writable(r);
            const uint32_t moved = ptr(t, rb, 0);
            const QByteArray movedMax(reinterpret_cast<const char*>(key(t, rb, 0)), t.keyLen);
            const QByteArray sepX(reinterpret_cast<const char*>(key(t, gb, xi)), t.keyLen);
            removeItem(t, rb, 0);
            uint8_t* xb = file.writable(x);
            setItem(t, xb, 0, lone, reinterpret_cast<const uint8_t*>(sepX.constData()));
            platform::writeLe32(item(t, xb, 1), moved);
            platform::writeLe32(xb, 1);
            std::memcpy(item(t, file.writable(gp), xi) + 4, movedMax.constData(), size_t(t.keyLen));
            return;
        } else {
            return;  // a parent without keys (only in files written elsewhere): leave it
        }
        if (gn - 1 > 0) return;
        if (j - 1 == 0)
            collapseRoot(t);
        else
            fixLoneChild(t, path, j - 1);
    }

    // ---- bulk build -------------------------------------------------------------
    void collectTree(const Tag& t, uint32_t page, int depth, std::unordered_set<uint32_t>& seen,
                     std::vector<uint32_t>& out) {
        if (depth > kMaxDepth) damaged(QStringLiteral("its tree is deeper than possible"));
        if (!seen.insert(page).second) damaged(QStringLiteral("page %1 is used twice").arg(page));
        const uint8_t* b = node(t, page);
        out.push_back(page);
        if (isLeaf(t, b)) return;
        const int n = count(b);
        std::vector<uint32_t> children;
        for (int i = 0; i <= n; ++i) children.push_back(ptr(t, b, i));
        for (uint32_t c : children) collectTree(t, c, depth + 1, seen, out);
    }

    void build(Tag& t, std::vector<IndexEntry>& entries) {
        const size_t kl = size_t(t.keyLen);
        const bool date = t.def.type == KeyType::Date;
        // Sorted entries: dates as (value, recno) pairs, characters as a flat
        // key buffer with an order vector.
        struct DateEntry {
            double key;
            uint32_t recno;
        };
        std::vector<DateEntry> dates;
        std::vector<uint8_t> chars;
        std::vector<uint32_t> recnos, order;
        for (const IndexEntry& e : entries)
            if (e.recno == 0)
                throw EngineError(QStringLiteral("Record number 0 was given for the index file %1.")
                                      .arg(nativePath()));
        if (date) {
            dates.reserve(entries.size());
            for (const IndexEntry& e : entries) {
                const QByteArray k = normalize(t, e.key);
                dates.push_back(
                    {getDouble(reinterpret_cast<const uint8_t*>(k.constData())), e.recno});
            }
            std::sort(dates.begin(), dates.end(), [](const DateEntry& a, const DateEntry& b) {
                return a.key < b.key || (!(b.key < a.key) && a.recno < b.recno);
            });
            dates.erase(std::unique(dates.begin(), dates.end(),
                                    [](const DateEntry& a, const DateEntry& b) {
                                        return !(a.key < b.key) && !(b.key < a.key) &&
                                               a.recno == b.recno;
                                    }),
                        dates.end());
        } else {
            chars.resize(entries.size() * kl);
            recnos.resize(entries.size());
            for (size_t i = 0; i < entries.size(); ++i) {
                const QByteArray k = normalize(t, entries[i].key);
                std::memcpy(chars.data() + i * kl, k.constData(), kl);
                recnos[i] = entries[i].recno;
            }
            order.resize(entries.size());
            std::iota(order.begin(), order.end(), 0u);
            auto less = [&](uint32_t a, uint32_t b) {
                const int c = std::memcmp(chars.data() + a * kl, chars.data() + b * kl, kl);
                return c < 0 || (c == 0 && recnos[a] < recnos[b]);
            };
            std::sort(order.begin(), order.end(), less);
            order.erase(
                std::unique(order.begin(), order.end(),
                            [&](uint32_t a, uint32_t b) { return !less(a, b) && !less(b, a); }),
                order.end());
        }
        std::vector<IndexEntry>().swap(entries);
        const size_t total = date ? dates.size() : order.size();
        auto keyAt = [&](size_t pos, uint8_t* out) {
            if (date)
                putDouble(out, dates[pos].key);
            else
                std::memcpy(out, chars.data() + size_t(order[pos]) * kl, kl);
        };
        auto recnoAt = [&](size_t pos) { return date ? dates[pos].recno : recnos[order[pos]]; };

        std::sort(freeBlocks.begin(), freeBlocks.end(), std::greater<>());
        struct Child {
            uint32_t page;
            size_t maxPos;
        };
        std::vector<Child> level;
        const size_t cap = size_t(t.capacity);
        const size_t leaves = std::max<size_t>(1, (total + cap - 1) / cap);
        uint32_t prev = 0;
        size_t pos = 0;
        std::vector<uint8_t> kbuf(kl);
        for (size_t i = 0; i < leaves; ++i) {
            const size_t n = total / leaves + (i < total % leaves ? 1 : 0);
            const uint32_t page = allocTreeBlock(t);
            uint8_t* b = file.writable(page);
            for (size_t e = 0; e < n; ++e) {
                keyAt(pos + e, kbuf.data());
                setItem(t, b, int(e), recnoAt(pos + e), kbuf.data());
            }
            platform::writeLe32(b, uint32_t(n));
            platform::writeLe32(b + 4, prev);
            prev = page;
            pos += n;
            level.push_back({page, pos == 0 ? 0 : pos - 1});
        }
        t.firstLeaf = level.front().page;
        t.lastLeaf = level.back().page;
        while (level.size() > 1) {
            const size_t groups = (level.size() + cap) / (cap + 1);
            std::vector<Child> up;
            size_t at = 0;
            prev = 0;
            for (size_t g = 0; g < groups; ++g) {
                const size_t n = level.size() / groups + (g < level.size() % groups ? 1 : 0);
                const uint32_t page = allocTreeBlock(t);
                uint8_t* b = file.writable(page);
                for (size_t c = 0; c + 1 < n; ++c) {
                    keyAt(level[at + c].maxPos, kbuf.data());
                    setItem(t, b, int(c), level[at + c].page, kbuf.data());
                }
                platform::writeLe32(item(t, b, int(n - 1)), level[at + n - 1].page);
                platform::writeLe32(b, uint32_t(n - 1));
                platform::writeLe32(b + 4, prev);
                prev = page;
                up.push_back({page, level[at + n - 1].maxPos});
                at += n;
            }
            level = std::move(up);
        }
        t.root = level.front().page;
    }

    // ---- header and tag table -----------------------------------------------------
    uint8_t* entryBytes(int tag) { return header + kTagTable + tag * kTagEntryBytes; }

    void parse() {
        if (file.fileSize() < kHeaderBytes) notMdx();
        file.readRaw(0, header, kHeaderBytes);
        const int pagesPerBlock = platform::readLe16(header + 20);
        if (pagesPerBlock < 1 || pagesPerBlock > 32 ||
            platform::readLe16(header + 22) != pagesPerBlock * kPageSize ||
            header[26] != kTagEntryBytes)
            notMdx();
        file.setBlockPages(pagesPerBlock);
        const int ntags = platform::readLe16(header + 28);
        const uint32_t pages = platform::readLe32(header + 32);
        if (ntags > kMaxTags) damaged(QStringLiteral("it claims %1 tags").arg(ntags));
        if (pages < 4 || pages % uint32_t(pagesPerBlock) != 0)
            damaged(QStringLiteral("it claims %1 pages").arg(pages));
        if (qint64(pages) * kPageSize > file.fileSize())
            damaged(QStringLiteral("it is shorter than its header says"));
        file.setPageCount(pages);
        tags.clear();
        freeBlocks.clear();
        for (int i = 0; i < ntags; ++i) tags.push_back(parseTag(i));
    }

    Tag parseTag(int i) {
        const uint8_t* e = entryBytes(i);
        Tag t;
        t.headerPage = platform::readLe32(e);
        const auto* nameEnd = std::find(e + 4, e + 15, uint8_t(0));
        t.def.name =
            QString::fromLatin1(reinterpret_cast<const char*>(e + 4), int(nameEnd - (e + 4)))
                .trimmed();
        if (t.def.name.isEmpty()) damaged(QStringLiteral("tag %1 has no name").arg(i + 1));
        if (!validPage(t.headerPage))
            damaged(QStringLiteral("tag %1 has its header at page %2")
                        .arg(t.def.name)
                        .arg(t.headerPage));
        const uint8_t* h = file.block(t.headerPage);
        const char type = char(h[9]);
        if ((type != 'C' && type != 'D') || (h[8] & 0x08))
            throw EngineError(
                QStringLiteral(
                    "The index file %1 has a tag %2 of a kind this program does not handle.")
                    .arg(nativePath(), t.def.name));
        t.def.type = type == 'D' ? KeyType::Date : KeyType::Character;
        t.keyLen = platform::readLe16(h + 12);
        t.itemLen = platform::readLe16(h + 18);
        t.maxKeys = platform::readLe16(h + 14);
        const int bs = file.blockBytes();
        const bool keyOk = t.def.type == KeyType::Date ? t.keyLen == 8
                                                       : (t.keyLen >= 1 && t.keyLen <= kMaxCharKey);
        if (!keyOk || t.itemLen < t.keyLen + 4 || t.itemLen % 4 != 0 || t.maxKeys < 1 ||
            8 + t.maxKeys * t.itemLen > bs)
            damaged(QStringLiteral("tag %1 has impossible key sizes").arg(t.def.name));
        t.capacity = std::min(t.maxKeys, (bs - 12) / t.itemLen);
        if (t.capacity < 3)
            damaged(QStringLiteral("tag %1 has impossible key sizes").arg(t.def.name));
        t.def.keyLength = t.keyLen;
        const auto* expr = h + 24;
        const auto* exprEnd = std::find(expr, expr + kExpressionBytes, uint8_t(0));
        t.def.field =
            QString::fromLatin1(reinterpret_cast<const char*>(expr), int(exprEnd - expr)).trimmed();
        t.root = platform::readLe32(h);
        if (!validPage(t.root))
            damaged(QStringLiteral("tag %1 has its root at page %2").arg(t.def.name).arg(t.root));
        t.treePages = platform::readLe32(h + 4);
        t.leafLinks = h[246] == 1;
        t.firstLeaf = platform::readLe32(h + 248);
        t.lastLeaf = platform::readLe32(h + 252);
        return t;
    }

    void writeTagHeader(const Tag& t) {
        uint8_t* h = file.writable(t.headerPage);
        platform::writeLe32(h, t.root);
        platform::writeLe32(h + 4, t.treePages);
        h[20] = uint8_t(h[20] + 1);
        if (t.leafLinks) {
            platform::writeLe32(h + 248, t.firstLeaf);
            platform::writeLe32(h + 252, t.lastLeaf);
        }
        h[256] = 0;
        putDate(h + 257);
    }

    void initTagHeader(const Tag& t) {
        uint8_t* h = file.fresh(t.headerPage);
        h[8] = 0x10;
        h[9] = t.def.type == KeyType::Date ? 'D' : 'C';
        h[11] = header[31];
        platform::writeLe16(h + 12, uint16_t(t.keyLen));
        platform::writeLe16(h + 14, uint16_t(t.maxKeys));
        platform::writeLe16(h + 16, t.def.type == KeyType::Date ? 1 : 0);
        platform::writeLe16(h + 18, uint16_t(t.itemLen));
        const QByteArray expr = t.def.field.toLatin1().left(kExpressionBytes - 1);
        std::memcpy(h + 24, expr.constData(), size_t(expr.size()));
        h[246] = 1;
        h[480] = 1;
    }

    // Slot numbers in the tag table form a binary search tree on the names.
    void linkTagName(int index) {
        uint8_t* e = entryBytes(index);
        e[16] = e[17] = e[18] = 0;
        if (index == 0) return;
        int cur = 0;
        for (int guard = 0; guard <= index; ++guard) {
            uint8_t* c = entryBytes(cur);
            const bool less = std::memcmp(e + 4, c + 4, 11) < 0;
            const int link = less ? 16 : 17;
            const int child = c[link];
            if (child == 0 || child > index) {
                c[link] = uint8_t(index + 1);
                e[18] = uint8_t(cur + 1);
                return;
            }
            cur = child - 1;
        }
    }

    int addTagHeader(const TagSpec& def) {
        if (tags.size() >= size_t(kMaxTags))
            throw EngineError(
                QStringLiteral("The index file %1 has no room for another tag.").arg(nativePath()));
        const QString name = def.name.trimmed().toUpper();
        const QByteArray latin = name.toLatin1();
        if (name.isEmpty() || latin.size() > 10 || QString::fromLatin1(latin) != name)
            throw EngineError(QStringLiteral("The tag name \"%1\" is not valid for %2.")
                                  .arg(def.name, nativePath()));
        for (const Tag& t : tags)
            if (t.def.name.compare(name, Qt::CaseInsensitive) == 0)
                throw EngineError(QStringLiteral("The index file %1 already has a tag %2.")
                                      .arg(nativePath(), name));
        Tag t;
        t.def = def;
        t.def.name = name;
        t.def.field = def.field.trimmed().toUpper();
        if (t.def.field.isEmpty()) t.def.field = name;
        t.keyLen = def.type == KeyType::Date ? 8 : def.keyLength;
        if (t.keyLen < 1 || t.keyLen > kMaxCharKey)
            throw EngineError(QStringLiteral("The key length %1 of tag %2 is not valid for %3.")
                                  .arg(def.keyLength)
                                  .arg(name, nativePath()));
        t.def.keyLength = t.keyLen;
        t.itemLen = (t.keyLen + 4 + 3) / 4 * 4;
        t.maxKeys = t.capacity = (file.blockBytes() - 12) / t.itemLen;
        t.leafLinks = true;
        t.headerPage = allocBlock();
        initTagHeader(t);
        t.root = t.firstLeaf = t.lastLeaf = allocTreeBlock(t);
        t.changed = true;
        const int index = int(tags.size());
        tags.push_back(t);
        uint8_t* e = entryBytes(index);
        std::memset(e, 0, kTagEntryBytes);
        platform::writeLe32(e, t.headerPage);
        std::memcpy(e + 4, latin.constData(), size_t(latin.size()));
        e[15] = 0x10;
        e[19] = 2;
        e[20] = t.def.type == KeyType::Date ? 'D' : 'C';
        linkTagName(index);
        platform::writeLe16(header + 28, uint16_t(tags.size()));
        header[30] = uint8_t(tags.size() + 1);
        headerChanged = true;
        return index;
    }

    void flush() {
        if (!file.writable()) return;
        const bool tagChanged =
            std::any_of(tags.begin(), tags.end(), [](const Tag& t) { return t.changed; });
        if (!tagChanged && !headerChanged && !file.hasDirty()) return;
        // Free blocks at the end of the file are given back.
        std::sort(freeBlocks.begin(), freeBlocks.end(), std::greater<>());
        const uint32_t ppb = uint32_t(blockPages());
        uint32_t pages = file.pageCount();
        std::vector<uint32_t> tail;
        for (bool more = true; more;) {
            more = false;
            auto it = std::find(freeBlocks.begin(), freeBlocks.end(), pages - ppb);
            if (pages > 4 && it != freeBlocks.end()) {
                freeBlocks.erase(it);
                pages -= ppb;
                more = true;
            }
        }
        const uint32_t pagesBefore = file.pageCount();
        file.discardFrom(pages);
        file.setPageCount(pages);
        std::vector<uint32_t> headers;
        for (Tag& t : tags) {
            if (t.changed) writeTagHeader(t);
            t.changed = false;
            headers.push_back(t.headerPage);
        }
        file.writeDirty(headers);
        platform::writeLe32(header + 32, pages);
        putDate(header + 44);
        file.writeRaw(0, header, kHeaderBytes);
        headerChanged = false;
        if (pages < pagesBefore) file.truncate(pages);
        ++version;
    }

    uint64_t verifyTag(const Tag& t, std::unordered_set<uint32_t>& seen) {
        uint64_t entries = 0;
        int leafDepth = -1;
        QByteArray lastKey;
        uint32_t lastRecno = 0;
        bool haveLast = false;
        struct Walk {
            Impl& d;
            const Tag& t;
            std::unordered_set<uint32_t>& seen;
            uint64_t& entries;
            int& leafDepth;
            QByteArray& lastKey;
            uint32_t& lastRecno;
            bool& haveLast;
            void visit(uint32_t page, int depth, const uint8_t* lower, const uint8_t* upper) {
                if (depth > kMaxDepth)
                    d.damaged(QStringLiteral("its tree of tag %1 is too deep").arg(t.def.name));
                if (!seen.insert(page).second)
                    d.damaged(
                        QStringLiteral("page %1 is used twice (tag %2)").arg(page).arg(t.def.name));
                const uint8_t* b = d.node(t, page);
                const int n = count(b);
                if (d.isLeaf(t, b)) {
                    if (leafDepth < 0) leafDepth = depth;
                    if (leafDepth != depth)
                        d.damaged(QStringLiteral("the leaves of tag %1 lie at different depths")
                                      .arg(t.def.name));
                    for (int i = 0; i < n; ++i) {
                        const uint8_t* k = key(t, b, i);
                        const uint32_t r = ptr(t, b, i);
                        const bool order =
                            !haveLast ||
                            d.cmpEntry(t, reinterpret_cast<const uint8_t*>(lastKey.constData()),
                                       lastRecno, k, r) < 0;
                        if (r == 0 || !order || (lower && d.cmpKey(t, k, lower) < 0) ||
                            (upper && d.cmpKey(t, k, upper) > 0))
                            d.damaged(
                                QStringLiteral("the entries of tag %1 are out of order at page %2")
                                    .arg(t.def.name)
                                    .arg(page));
                        lastKey = QByteArray(reinterpret_cast<const char*>(k), t.keyLen);
                        lastRecno = r;
                        haveLast = true;
                        ++entries;
                    }
                    return;
                }
                for (int i = 0; i <= n; ++i) {
                    const uint8_t* lo = i > 0 ? key(t, b, i - 1) : lower;
                    const uint8_t* hi = i < n ? key(t, b, i) : upper;
                    if (lo && hi && d.cmpKey(t, lo, hi) > 0)
                        d.damaged(QStringLiteral("the keys of tag %1 are out of order at page %2")
                                      .arg(t.def.name)
                                      .arg(page));
                    visit(ptr(t, b, i), depth + 1, lo, hi);
                }
            }
        } walk{*this, t, seen, entries, leafDepth, lastKey, lastRecno, haveLast};
        walk.visit(t.root, 0, nullptr, nullptr);
        return entries;
    }
};

// ---- public interface ---------------------------------------------------------

MdxIndex::MdxIndex() = default;
MdxIndex::~MdxIndex() = default;

std::unique_ptr<MdxIndex> MdxIndex::open(const QString& path, bool writable) {
    std::unique_ptr<MdxIndex> index(new MdxIndex);
    index->d = std::make_unique<Impl>(path);
    index->d->file.open(writable);
    index->d->parse();
    return index;
}

std::unique_ptr<MdxIndex> MdxIndex::create(const QString& path, const std::vector<TagSpec>& tags) {
    std::unique_ptr<MdxIndex> index(new MdxIndex);
    index->d = std::make_unique<Impl>(path);
    Impl& d = *index->d;
    d.file.create();
    d.file.setBlockPages(2);
    d.file.setPageCount(4);
    uint8_t* h = d.header;
    h[0] = 2;
    putDate(h + 1);
    const QByteArray name = QFileInfo(path).completeBaseName().toLatin1().left(15);
    std::memcpy(h + 4, name.constData(), size_t(name.size()));
    platform::writeLe16(h + 20, 2);
    platform::writeLe16(h + 22, 2 * kPageSize);
    h[24] = 1;
    h[25] = kMaxTags + 1;
    h[26] = kTagEntryBytes;
    h[30] = 1;
    h[31] = kLanguageDriver;
    h[529] = 1;
    d.headerChanged = true;
    for (const TagSpec& def : tags) d.addTagHeader(def);
    d.flush();
    return index;
}

const QString& MdxIndex::path() const {
    return d->file.path();
}
int MdxIndex::tagCount() const {
    return int(d->tags.size());
}
const TagSpec& MdxIndex::tag(int tag) const {
    return d->tagAt(tag).def;
}

int MdxIndex::findTag(const QString& name) const {
    for (size_t i = 0; i < d->tags.size(); ++i)
        if (d->tags[i].def.name.compare(name.trimmed(), Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

void MdxIndex::insert(int tag, QByteArrayView key, uint32_t recno) {
    Tag& t = d->tagAt(tag);
    d->requireWritable();
    if (recno == 0)
        throw EngineError(QStringLiteral("Record number 0 was given for the index file %1.")
                              .arg(d->nativePath()));
    d->beginOp();
    const QByteArray k = d->normalize(t, key);
    const auto* kp = reinterpret_cast<const uint8_t*>(k.constData());
    TreePosition c = d->locate(t, kp, recno);
    ++d->version;
    TreePosition at = c;
    if ((d->atEntry(at) || d->nextLeaf(t, at)) &&
        d->cmpEntry(t, Impl::key(t, at.data, at.idx), Impl::ptr(t, at.data, at.idx), kp, recno) ==
            0)
        return;  // already there: (key, recno) is unique
    d->insertAt(t, c, kp, recno);
    t.changed = true;
}

bool MdxIndex::remove(int tag, QByteArrayView key, uint32_t recno) {
    Tag& t = d->tagAt(tag);
    d->requireWritable();
    d->beginOp();
    const QByteArray k = d->normalize(t, key);
    const auto* kp = reinterpret_cast<const uint8_t*>(k.constData());
    TreePosition c = d->locate(t, kp, recno);
    if (!d->atEntry(c) && !d->nextLeaf(t, c)) return false;
    if (d->cmpEntry(t, Impl::key(t, c.data, c.idx), Impl::ptr(t, c.data, c.idx), kp, recno) != 0)
        return false;
    ++d->version;
    t.changed = true;
    uint8_t* b = d->file.writable(c.leaf);
    d->removeItem(t, b, c.idx);
    const int n = Impl::count(b);
    if (n > 0) {
        if (c.idx == n)
            d->fixSeparators(
                t, c.path, c.path.size(),
                QByteArray(reinterpret_cast<const char*>(Impl::key(t, b, n - 1)), t.keyLen));
    } else if (!c.path.empty()) {
        d->removeChild(t, c.path, c.path.size() - 1, c.leaf, true);
    }
    return true;
}

std::optional<IndexEntry> MdxIndex::first(int tag) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    TreePosition c;
    d->descendLeft(t, c, t.root);
    if (Impl::count(c.data) == 0 && !d->nextLeaf(t, c))
        return d->remember(tag, TreePosition{}, true);
    return d->remember(tag, c, true);
}

std::optional<IndexEntry> MdxIndex::last(int tag) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    TreePosition c;
    d->descendRight(t, c, t.root);
    if (Impl::count(c.data) == 0 && !d->prevLeaf(t, c))
        return d->remember(tag, TreePosition{}, true);
    return d->remember(tag, c, true);
}

std::optional<IndexEntry> MdxIndex::seek(int tag, QByteArrayView key) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    const QByteArray k = d->normalize(t, key);
    TreePosition c = d->locate(t, reinterpret_cast<const uint8_t*>(k.constData()), 0);
    if (!d->atEntry(c) && !d->nextLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
    return d->remember(tag, c, true);
}

std::optional<IndexEntry> MdxIndex::next(int tag, const IndexEntry& from) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    if (d->navAt(tag, from)) {
        TreePosition& c = d->nav.c;
        if (++c.idx < Impl::count(c.data)) return d->remember(tag, c, false);
        if (!d->nextLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
        return d->remember(tag, c, false);
    }
    const QByteArray k = d->normalize(t, from.key);
    const auto* kp = reinterpret_cast<const uint8_t*>(k.constData());
    TreePosition c = d->locate(t, kp, from.recno);
    if (!d->atEntry(c) && !d->nextLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
    if (d->cmpEntry(t, Impl::key(t, c.data, c.idx), Impl::ptr(t, c.data, c.idx), kp, from.recno) ==
        0) {
        ++c.idx;
        if (!d->atEntry(c) && !d->nextLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
    }
    return d->remember(tag, c, true);
}

std::optional<IndexEntry> MdxIndex::prior(int tag, const IndexEntry& from) const {
    const Tag& t = d->tagAt(tag);
    d->beginOp();
    if (d->navAt(tag, from)) {
        TreePosition& c = d->nav.c;
        if (--c.idx >= 0) return d->remember(tag, c, false);
        if (!d->prevLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
        return d->remember(tag, c, false);
    }
    const QByteArray k = d->normalize(t, from.key);
    TreePosition c = d->locate(t, reinterpret_cast<const uint8_t*>(k.constData()), from.recno);
    if (--c.idx < 0 && !d->prevLeaf(t, c)) return d->remember(tag, TreePosition{}, true);
    return d->remember(tag, c, true);
}

void MdxIndex::rebuild(int tag, std::vector<IndexEntry> entries) {
    Tag& t = d->tagAt(tag);
    d->requireWritable();
    d->beginOp();
    ++d->version;
    // The old tree's blocks are reused; a damaged old tree is abandoned whole
    // (its blocks may be shared with another tag).
    std::vector<uint32_t> old;
    try {
        std::unordered_set<uint32_t> seen;
        d->collectTree(t, t.root, 0, seen, old);
    } catch (const EngineError&) {
        old.clear();
    }
    for (uint32_t page : old) d->freeTreeBlock(t, page);
    t.treePages = 0;
    d->build(t, entries);
    t.changed = true;
}

int MdxIndex::addTag(const TagSpec& def, std::vector<IndexEntry> entries) {
    d->requireWritable();
    d->beginOp();
    ++d->version;
    const int index = d->addTagHeader(def);
    if (!entries.empty()) rebuild(index, std::move(entries));
    return index;
}

std::vector<uint64_t> MdxIndex::verify() const {
    std::unordered_set<uint32_t> seen{0, 1, 2, 3};
    for (const Tag& t : d->tags)
        if (!seen.insert(t.headerPage).second)
            d->damaged(QStringLiteral("two tags share the header page %1").arg(t.headerPage));
    std::vector<uint64_t> counts;
    for (const Tag& t : d->tags) {
        d->beginOp();
        counts.push_back(d->verifyTag(t, seen));
    }
    return counts;
}

void MdxIndex::flush() {
    d->flush();
}

void MdxIndex::sync() {
    d->flush();
    d->file.sync();
}

void MdxIndex::reload() {
    d->file.dropAll();
    ++d->version;
    d->nav.tag = -1;
    d->headerChanged = false;
    d->parse();
}

QByteArray MdxIndex::characterKey(QByteArrayView fieldBytes, int keyLength) {
    QByteArray k =
        fieldBytes.first(std::min<qsizetype>(fieldBytes.size(), keyLength)).toByteArray();
    if (k.size() < keyLength) k.append(keyLength - k.size(), ' ');
    // Other tools pad text with NULs where we pad with blanks; both read as
    // the same text, so both must give the key a search for that text builds.
    for (qsizetype n = k.size(); n > 0 && (k[n - 1] == ' ' || k[n - 1] == '\0'); --n)
        k[n - 1] = ' ';
    return k;
}

double MdxIndex::julianDay(const QDate& date) {
    return date.isValid() ? double(date.toJulianDay()) : kEmptyDateJulian;
}

QByteArray MdxIndex::dateKey(const QDate& date) {
    QByteArray k(8, '\0');
    putDouble(reinterpret_cast<uint8_t*>(k.data()), julianDay(date));
    return k;
}

}  // namespace dbase
