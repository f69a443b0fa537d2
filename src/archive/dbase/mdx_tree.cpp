// The B-tree of one tag: descent to a key, stepping from leaf to leaf, and the
// changes that keep it balanced: a full node splits (an append to the last
// leaf keeps the left node full, as journal order fills it), an emptied node
// goes, and an interior node left with one child merges into a sibling or
// borrows from it.
#include "archive/dbase/mdx_index_impl.h"

namespace dbase {

using namespace mdx;

void MdxIndex::Impl::pushChild(TreePosition& c, uint32_t parent, int idx, uint32_t child) {
    if (c.path.size() >= size_t(kMaxDepth))
        damaged(QStringLiteral("its tree is deeper than possible"));
    c.path.push_back({parent, idx});
    for (const Level& l : c.path)
        if (l.page == child)
            damaged(QStringLiteral("page %1 is reached twice in one descent").arg(child));
}

void MdxIndex::Impl::descendLeft(const Tag& t, TreePosition& c, uint32_t page) {
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

void MdxIndex::Impl::descendRight(const Tag& t, TreePosition& c, uint32_t page) {
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
bool MdxIndex::Impl::nextLeaf(const Tag& t, TreePosition& c) {
    while (!c.path.empty()) {
        Level& lv = c.path.back();
        const uint8_t* b = node(t, lv.page);
        if (lv.idx < count(b)) {
            ++lv.idx;
            const uint32_t child = ptr(t, b, lv.idx);
            for (size_t i = 0; i + 1 < c.path.size(); ++i)
                if (c.path[i].page == child)
                    damaged(QStringLiteral("page %1 is reached twice").arg(child));
            if (child == lv.page) damaged(QStringLiteral("page %1 is reached twice").arg(child));
            descendLeft(t, c, child);
            if (count(c.data) == 0) continue;
            return true;
        }
        c.path.pop_back();
    }
    return false;
}

// Moves to the last index of the previous leaf that has entries.
bool MdxIndex::Impl::prevLeaf(const Tag& t, TreePosition& c) {
    while (!c.path.empty()) {
        Level& lv = c.path.back();
        const uint8_t* b = node(t, lv.page);
        if (lv.idx > 0) {
            lv.idx = std::min(lv.idx, count(b) + 1) - 1;
            const uint32_t child = ptr(t, b, lv.idx);
            if (child == lv.page) damaged(QStringLiteral("page %1 is reached twice").arg(child));
            descendRight(t, c, child);
            if (count(c.data) == 0) continue;
            return true;
        }
        c.path.pop_back();
    }
    return false;
}

int MdxIndex::Impl::leafLowerBound(const Tag& t, const uint8_t* b, const uint8_t* k,
                                   uint32_t recno) const {
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
TreePosition MdxIndex::Impl::locate(const Tag& t, const uint8_t* k, uint32_t recno) {
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

// The node after / before the one at `level` (path.size() = the leaf level).
uint32_t MdxIndex::Impl::rightNeighbor(const Tag& t, const std::vector<Level>& path, size_t level) {
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

uint32_t MdxIndex::Impl::leftNeighbor(const Tag& t, const std::vector<Level>& path, size_t level) {
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

void MdxIndex::Impl::setPrev(uint32_t page, uint32_t prev) {
    if (page) platform::writeLe32(file.writable(page) + 4, prev);
}

uint32_t MdxIndex::Impl::allocBlock() {
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

uint32_t MdxIndex::Impl::allocTreeBlock(Tag& t) {
    t.treePages += uint32_t(blockPages());
    return allocBlock();
}

void MdxIndex::Impl::freeTreeBlock(Tag& t, uint32_t page) {
    t.treePages -= std::min(t.treePages, uint32_t(blockPages()));
    file.fresh(page);
    freeBlocks.push_back(page);
}

void MdxIndex::Impl::insertAt(Tag& t, TreePosition& c, const uint8_t* k, uint32_t recno) {
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
void MdxIndex::Impl::insertIntoParent(Tag& t, std::vector<Level>& path, size_t level, uint32_t left,
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
    const QByteArray up(reinterpret_cast<const char*>(kb.data() + size_t(m * t.keyLen)), t.keyLen);
    insertIntoParent(t, path, level - 1, pl.page, up, q);
}

// The greatest key below path[level-1]'s child changed: carry it up to the
// first ancestor where that child is not the rightmost one.
void MdxIndex::Impl::fixSeparators(const Tag& t, const std::vector<Level>& path, size_t level,
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
void MdxIndex::Impl::removeChild(Tag& t, std::vector<Level>& path, size_t j, uint32_t child,
                                 bool childIsLeaf) {
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

void MdxIndex::Impl::collapseRoot(Tag& t) {
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
void MdxIndex::Impl::fixLoneChild(Tag& t, std::vector<Level>& path, size_t j) {
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
        std::memcpy(item(t, file.writable(gp), xi - 1) + 4, newSepS.constData(), size_t(t.keyLen));
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

}  // namespace dbase
